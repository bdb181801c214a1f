// The export button: the whole parameter record checked in its fixed order, the product
// filter confirmed, the Palm's queue and history consulted, then the export run.

#include "params/trigger_rules.h"
#include "platform/common/error.h"
#include "platform/maker/consiste.h"
#include "screen/frm_exp_dados.h"

namespace kve {

void TfrmExpDados::sbtImportExportClick() {
  if (!svc_.exportEnded) return ExportPressed();
  ExportEnd end;
  end.pressed = std::chrono::system_clock::now();
  runStarted_ = false;
  closingMessage_.clear();
  // Told after the operator has seen everything, and never in the way of the export's own
  // outcome: a failure of the teller goes to the log.
  auto tell = [&] {
    end.runStarted = runStarted_;
    end.closingMessage = closingMessage_;
    if (!closingMessage_.empty())
      end.outcome = ExportEnd::Outcome::Exported;
    else if (runStarted_)
      end.outcome = ExportEnd::Outcome::Failed;
    try {
      svc_.exportEnded(*this, end);
    } catch (const std::exception& e) {
      Log(std::string("recording the export: ") + e.what());
    } catch (...) {
      Log("recording the export: an unknown error");
    }
  };
  try {
    ExportPressed();
  } catch (const EAbort&) {
    end.outcome = ExportEnd::Outcome::Stopped;  // unless the run had begun
    tell();
    throw;
  } catch (const std::exception& e) {
    end.outcome = ExportEnd::Outcome::Failed;
    end.problem = e.what();
    tell();
    throw;
  }
  end.outcome = ExportEnd::Outcome::Stopped;  // a No: unless the closing alert was shown
  tell();
}

void TfrmExpDados::ExportPressed() {
  for (TDateEditPlus* d : {&depCardIni, &depCardFim, &depSoliCompIni, &depSoliCompFim, &depAFIni, &depAFFim})
    d->CheckValidDate();
  Vd_Diretorios(true);
  // The field last edited may not have been left: copy the count and check the fields here.
  NrSolic = sedSolicProd.Text();
  if (rbtPalm.Checked())
    Vd_Palm(true, true);
  else
    Vd_ePc(medCdEPc.Text(), true);
  Vd_Nutricio();
  Vd_AgrupProd();
  vd_DepsCardapio();
  Vd_Agregadas();

  // Product filter: a restricted export needs at least one restriction.
  if (chkArvProd.Checked()) {
    if (msgPadrao.ShowMsg("Export_Arv_Prod", TMsgDlgType::mtConfirmation, mbYesNo, 0) != mrYes) return;
  } else if (chkSolicProd.Checked()) {
    if (!params::PurchaseRequestCountAccepted(sedSolicProd.Value(), sedSolicProd.Text())) {
      sedSolicProd.SetText("");
      if (sedSolicProd.CanFocus()) sedSolicProd.SetFocus();
      Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("Nr_Solic_inf"), true);
    }
  } else {
    sedSolicProd.SetValue(0);
    if (!chkAtivProd.Checked() && Consiste::EmptyString(medAgrupProd.Text())) {
      if (chkArvProd.CanFocus()) chkArvProd.SetFocus();
      Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("Fil_Prod_inf"), true);
    }
  }

  pgbProgresso.SetRange(0, 18);
  pgbProgresso.SetPosition(0);
  if (rbtPalm.Checked()) {
    // The earlier export stays queued while this one is made: the run replaces it in one
    // step, so a process killed meanwhile leaves it whole. When the press ends without an
    // export (a No, a failure), it is withdrawn, whatever the history decided.
    const std::string user = edtNmPalm.Text();
    closingMessage_.clear();
    struct Settle {
      TfrmExpDados& s;
      const std::string& user;
      ~Settle() {
        try {
          if (s.closingMessage_.empty())
            s.Remover(user);
          else
            s.NoteQueuedExport(user);
        } catch (const std::exception& e) {
          s.Log(std::string("HotSync queue: ") + e.what());
        }
      }
    } settle{*this, user};
    params::LoadDeviceHistory(netExpDados, medCdFilial.Text(), medCdPalm.Text(), cdsHistPalm);
    if (params::ExportNotImportedBack(params::FirstHistoryMarks(cdsHistPalm))) {
      if (msgPadrao.ShowMsg("Export_Import", TMsgDlgType::mtConfirmation, mbYesNo, 0) == mrYes) {
        Exportacao();
      } else {
        msgPadrao.ShowMsg("Import_Deve", TMsgDlgType::mtInformation, mbOKOnly, 0);
      }
    } else {
      Exportacao();
    }
  } else {
    Exportacao();
  }
  lblStatus.SetCaption("");
}

void TfrmExpDados::vd_DepsCardapio() {
  auto fail = [this](TControl& focus, const char* key) {
    if (focus.CanFocus()) focus.SetFocus();
    Consiste::MensErro(svc_.dialogs, msgPadrao.Msg(key), true);
  };
  auto empty = [](const TDateEditPlus& d) { return Consiste::EmptyString(d.Text()); };
  if (rbtLAgreg.Checked() && ListaAgreg.empty()) fail(rbtLAgreg, "Agreg_Inf");
  struct Range {
    TDateEditPlus& from;
    TDateEditPlus& to;
    const char *fromKey, *toKey, *orderKey;
  } ranges[] = {
      {depCardIni, depCardFim, "DATAINI_DV", "DATAFIM_DV", "DATA_INV"},
      {depSoliCompIni, depSoliCompFim, "DATAINIS_DV", "DATAFIMS_DV", "DATAS_INV"},
      {depAFIni, depAFFim, "DATAINIA_DV", "DATAFIMA_DV", "DATAA_INV"},
  };
  for (Range& r : ranges) {
    if (empty(r.from)) fail(r.from, r.fromKey);
    if (empty(r.to)) fail(r.to, r.toKey);
    if (r.to.GetDate() < r.from.GetDate()) fail(r.from, r.orderKey);
  }
}

void TfrmExpDados::Vd_Agregadas() {
  if (Consiste::EmptyString(medCdNutricio.Text())) {
    TControl& device = rbtPalm.Checked() ? static_cast<TControl&>(medCdPalm) : medCdEPc;
    FocusOnFailure(device, [this] {
      qryAgregada.Close();
      qryAgregada.ParamByName("P_CDFILCENTKVE").SetAsString(medCdFilial.Text());
      qryAgregada.Open();
      if (qryAgregada.Eof()) Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("Agreg_NCad"), true);
    });
    return;
  }
  qryAgregadaOper.Close();
  qryAgregadaOper.ParamByName("P_CDFILCENTKVE").SetAsString(medCdFilial.Text());
  qryAgregadaOper.ParamByName("P_CDOPERADOR").SetAsString(medCdNutricio.Text());
  qryAgregadaOper.Open();
  if (qryAgregadaOper.Eof()) Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("Agreg_NCad_Nutri"), true);
}

}  // namespace kve
