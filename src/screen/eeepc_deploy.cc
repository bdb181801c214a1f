// The eeePC deployment before an export: the shared folder, the client program and its
// runtime files pushed when newer, and the export folder on the eeePC.

#include "screen/eeepc_deploy.h"

#include <vector>

#include "eeepc/deployment.h"
#include "eeepc/epc_device.h"
#include "platform/maker/consiste.h"
#include "screen/form_run_view.h"
#include "screen/frm_exp_dados.h"

namespace kve {

std::string DeployEeepc(FileSystem& files, Registry& registry, ExportRunView& view, const std::string& name) {
  TMessages& msg = view.Messages();
  eeepc::CheckEpcShare(files, msg, view.Boxes(), name);
  const eeepc::EpcFolders f = eeepc::EpcDeployFolders(name);
  auto shareFailure = [&] {
    Consiste::MensErro(view.Boxes(), Format(msg.Msg("DirKVE_ePc"), {f.share}), true);
  };

  {
    // The operator must close the eeePC's programs before their files are replaced.
    WaitAnimationPause pause(view.Busy(), kExportWaitAnimation);
    msg.ShowMsg("Aplic_Epc", TMsgDlgType::mtInformation, mbOKOnly, 0);
  }

  const std::string inst = registry.ReadString(eeepc::kInstallKey, eeepc::kInstallValue).value_or("");
  if (inst.empty()) {
    view.FocusDevice();
    Consiste::MensErro(view.Boxes(), msg.Msg("DIR_EXE_N"), true);
  }
  const std::string client = eeepc::ClientFolder(inst);
  for (const eeepc::DeployedFile& d : eeepc::DeployedFiles()) {
    if (!files.FileExists(client + "\\" + std::string(d.file))) {
      Consiste::MensErro(view.Boxes(), Format(msg.Msg("Exe_n_Enc"), {msg.Msg(d.nameKey), client}), true);
    }
  }

  if (!files.DirectoryExists(f.bin) &&
      !eeepc::CreateMissingFolders(files, std::vector<std::string>{f.eeepc, f.kve, f.bin})) {
    shareFailure();
  }
  // The eeePC's program never sees half a file: each copy replaces the old one at once.
  for (const eeepc::DeployedFile& d : eeepc::DeployedFiles()) {
    const std::string source = client + "\\" + std::string(d.file);
    const std::string destination = f.bin + "\\" + std::string(d.file);
    if (eeepc::NeedsCopy(files, source, destination)) files.CopyFile(source, destination);
  }
  if (!eeepc::CreateMissingFolders(files, std::vector<std::string>{f.eeepc, f.kve, f.exp})) {
    shareFailure();
  }
  return f.dirExp;
}

// The deployment on the screen's own view, for the eeePC chosen on it.
void TfrmExpDados::Vd_DiretoriosEPc() {
  FormRunView view(*this);
  DirExp = DeployEeepc(svc_.files, svc_.registry, view, edtNmEPC.Text());
}

void TfrmExpDados::CopyFile(const std::string& source, const std::string& destination) {
  svc_.files.CopyFile(source, destination);
}

}  // namespace kve
