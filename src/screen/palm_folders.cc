// The export folder display, and the Palm folders checked before an export.

#include "palm/export_folders.h"
#include "platform/common/error.h"
#include "platform/maker/consiste.h"
#include "screen/frm_exp_dados.h"

namespace kve {

void TfrmExpDados::Vd_Diretorios(bool check) {
  std::optional<std::string> palmDir =
      svc_.registry.ReadString(palm::kPalmDirKey, palm::kPalmDirValue);
  palm::PalmFolders folders = palm::ResolvePalmFolders(palmDir.value_or(""));
  medDiretorios.SetText(folders.display);
  // The eeePC target always has an empty Palm code, so its exports never check these.
  if (!check || Consiste::EmptyString(medCdPalm.Text())) return;

  DirExp = folders.dirExp;
  DirBin = folders.dirBin;
  if (auto missing = palm::FirstMissingFolder(svc_.files, folders)) {
    Consiste::MensErro(svc_.dialogs, Format(msgPadrao.Msg("DirKVE_inf"), {*missing}), false);
    throw EAbort();
  }
  drlDiretorio.directory = DirExp;
}

}  // namespace kve
