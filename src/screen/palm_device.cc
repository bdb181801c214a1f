// The Palm code field, its look-up and its check, and the withdrawal of an export's entries
// from a HotSync user's install queue.

#include "catalogue/catalogue.h"
#include "palm/hotsync_queue.h"
#include "params/expdados_messages.h"
#include "platform/maker/consiste.h"
#include "screen/frm_exp_dados.h"

namespace kve {
namespace {

constexpr std::string_view kTypePalm = "1";  // IDTPPERIFEXPKVE of a Palm
constexpr int kPalmCodeWidth = 3;            // CDPALM

}  // namespace

// qryPalm and qryVdPalm are shared with the eeePC selection, which sets their text; the Palm
// asks them for devices of its own type.
void TfrmExpDados::SetupPalm() {
  medCdPalm.OnChange = [this] { medCdPalmChange(); };
  medCdPalm.OnExit = [this] { medCdPalmExit(); };
  btnPalm.OnBeforePesq = [this] { btnPalmBeforePesq(); };
  btnPalm.OnAfterPesq = [this] { btnPalmAfterPesq(); };
}

void TfrmExpDados::btnPalmBeforePesq() {
  qryPalm.Close();
  qryPalm.ParamByName("P_CDFILIAL").SetAsString(medCdFilial.Text());
  qryPalm.ParamByName("P_IDTPPERIFEXPKVE").SetAsString(kTypePalm);
  qryPalm.Open();
}

void TfrmExpDados::btnPalmAfterPesq() {
  medCdPalm.SetText(qryPalm.FieldByName("CDPALM").AsString());
  edtNmPalm.SetText(qryPalm.FieldByName("NMPALM").AsString());
}

void TfrmExpDados::medCdPalmChange() { edtNmPalm.SetText(""); }

// Leaving the field never looks at the HotSync users; only the export does.
void TfrmExpDados::medCdPalmExit() { Vd_Palm(false, false); }

void TfrmExpDados::Vd_Palm(bool checkUser, bool required) {
  FocusOnFailure(medCdPalm, [&] {
    if (Consiste::EmptyString(medCdPalm.Text())) {
      if (required) Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("Palm_Inf"), true);
      return;
    }
    medCdPalm.SetText(Consiste::Ajusta(medCdPalm.Text(), kPalmCodeWidth));
    qryVdPalm.Close();
    qryVdPalm.ParamByName("P_CDPALM").SetAsString(medCdPalm.Text());
    qryVdPalm.ParamByName("P_CDFILIAL").SetAsString(medCdFilial.Text());
    qryVdPalm.ParamByName("P_IDTPPERIFEXPKVE").SetAsString(kTypePalm);
    qryVdPalm.Open();
    if (qryVdPalm.Eof()) Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("Palm_NCad"), true);
    edtNmPalm.SetText(qryVdPalm.FieldByName("NMPALM").AsString());
    // The export is queued under the Palm's name: a user of exactly that name must exist.
    if (checkUser && !palm::HasHotSyncUser(svc_.installAide, edtNmPalm.Text())) {
      Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("Palm_NCadUser"), true);
    }
  });
}

// Paths from the folders as they stand now: bare file names before a Palm export ever
// resolved them, the eeePC's folder after an eeePC export.
void TfrmExpDados::Remover(const std::string& user) {
  palm::RemoveEntries(svc_.installAide, user, exporting::PalmRemovalPaths(DirExp, DirBin),
                      svc_.log);
}

void TfrmExpDados::NoteQueuedExport(const std::string& user) {
  auto& noted = queuedByScreen_[user];
  noted.clear();
  for (const std::string& path : exporting::PalmRemovalPaths(DirExp, DirBin)) {
    InstallAide::PltEntryInfo info;
    if (svc_.installAide.PltGetInstallFileInfo(user.c_str(), path.c_str(), &info) == kPltOk)
      noted.emplace_back(path, info);
  }
}

// An entry is withdrawn only while it is the very copy the screen queued: one a HotSync took
// is gone, one a batch export queued since is another file. Exports queued before this
// screen was opened were withdrawn by the close of the screen that made them.
void TfrmExpDados::RemoverTodosUsuarios() {
  for (const auto& [user, noted] : queuedByScreen_) {
    std::vector<std::string> ours;
    for (const auto& [path, info] : noted) {
      InstallAide::PltEntryInfo now;
      if (svc_.installAide.PltGetInstallFileInfo(user.c_str(), path.c_str(), &now) == kPltOk && now == info)
        ours.push_back(path);
    }
    if (ours.empty()) continue;
    // The closing alert told the operator to start the HotSync: say that it is too late now.
    svc_.dialogs.MessageDlg(Format(kMsgWithdrawnOnClose, {user, std::to_string(ours.size())}),
                            TMsgDlgType::mtInformation, mbOKOnly);
    palm::RemoveEntries(svc_.installAide, user, ours, svc_.log);
  }
  queuedByScreen_.clear();
}

}  // namespace kve
