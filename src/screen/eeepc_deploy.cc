// The eeePC deployment before an export: the shared folder, the client program and its
// runtime files pushed when newer, and the export folder on the eeePC.

#include <vector>

#include "eeepc/deployment.h"
#include "eeepc/epc_device.h"
#include "platform/common/error.h"
#include "platform/maker/consiste.h"
#include "platform/maker/showavi.h"
#include "screen/frm_exp_dados.h"

namespace kve {

void TfrmExpDados::Vd_DiretoriosEPc() {
  const std::string name = edtNmEPC.Text();
  eeepc::CheckEpcShare(svc_.files, msgPadrao, svc_.dialogs, name);
  const eeepc::EpcFolders f = eeepc::EpcDeployFolders(name);
  auto shareFailure = [&] {
    Consiste::MensErro(svc_.dialogs, Format(msgPadrao.Msg("DirKVE_ePc"), {f.share}), true);
  };

  // The operator must close the eeePC's programs before their files are replaced.
  Showavi::DeactiveShowAvi(svc_.busy);
  msgPadrao.ShowMsg("Aplic_Epc", TMsgDlgType::mtInformation, mbOKOnly, 0);
  Showavi::ActiveShowAvi(svc_.busy, 6);

  const std::string inst =
      svc_.registry.ReadString(eeepc::kInstallKey, eeepc::kInstallValue).value_or("");
  if (inst.empty()) {
    if (medCdEPc.CanFocus()) medCdEPc.SetFocus();
    Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("DIR_EXE_N"), true);
  }
  const std::string client = eeepc::ClientFolder(inst);
  for (const eeepc::DeployedFile& d : eeepc::DeployedFiles()) {
    if (!svc_.files.FileExists(client + "\\" + std::string(d.file))) {
      Consiste::MensErro(svc_.dialogs,
                         Format(msgPadrao.Msg("Exe_n_Enc"), {msgPadrao.Msg(d.nameKey), client}), true);
    }
  }

  if (!svc_.files.DirectoryExists(f.bin) &&
      !eeepc::CreateMissingFolders(svc_.files, std::vector<std::string>{f.eeepc, f.kve, f.bin})) {
    shareFailure();
  }
  for (const eeepc::DeployedFile& d : eeepc::DeployedFiles()) {
    const std::string source = client + "\\" + std::string(d.file);
    const std::string destination = f.bin + "\\" + std::string(d.file);
    if (eeepc::NeedsCopy(svc_.files, source, destination)) CopyFile(source, destination);
  }
  if (!eeepc::CreateMissingFolders(svc_.files, std::vector<std::string>{f.eeepc, f.kve, f.exp})) {
    shareFailure();
  }
  DirExp = f.dirExp;
}

// The eeePC's program never sees half a file: the copy replaces the old one at once.
void TfrmExpDados::CopyFile(const std::string& source, const std::string& destination) {
  svc_.files.CopyFile(source, destination);
}

}  // namespace kve
