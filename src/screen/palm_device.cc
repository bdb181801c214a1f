// The Palm code field, its look-up and its check, and the withdrawal of an export's entries
// from a HotSync user's install queue.

#include "catalogue/catalogue.h"
#include "palm/hotsync_queue.h"
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

void TfrmExpDados::RemoverTodosUsuarios() {
  const int users = svc_.installAide.PltGetUserCount();
  std::int16_t size = 0;  // shared by the whole pass
  for (int i = 0; i < users; ++i) {
    Remover(palm::ReadHotSyncUser(svc_.installAide, static_cast<unsigned int>(i), size));
  }
}

}  // namespace kve
