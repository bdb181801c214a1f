// The start of the export run: the aggregated branches read when all of them are wanted, the
// order taken from the controls, the run on the screen's own view, and what it returns put
// back into the screen.

#include <optional>

#include "export/export_calls.h"
#include "params/lookups.h"
#include "platform/maker/consiste.h"
#include "screen/export_run.h"
#include "screen/form_run_view.h"
#include "screen/frm_exp_dados.h"

namespace kve {

void TfrmExpDados::Exportacao() {
  if (rbtTAgreg.Checked()) {
    ListaAgreg.clear();
    const bool noNutritionist = Consiste::EmptyString(medCdNutricio.Text());
    if (noNutritionist)
      params::OpenAgregada(qryAgregada, medCdFilial.Text());
    else
      params::OpenAgregadaOper(qryAgregadaOper, medCdFilial.Text(), medCdNutricio.Text());
    ListaAgreg = exporting::AggregatedList(noNutritionist ? qryAgregada : qryAgregadaOper);
  }

  const bool palm = rbtPalm.Checked();
  ExportOrder order{.palm = palm,
                    .central = medCdFilial.Text(),
                    .device = palm ? medCdPalm.Text() : medCdEPc.Text(),
                    .deviceName = palm ? edtNmPalm.Text() : edtNmEPC.Text(),
                    .cardIni = depCardIni.GetDate(),
                    .cardFim = depCardFim.GetDate(),
                    .soliCompIni = depSoliCompIni.GetDate(),
                    .soliCompFim = depSoliCompFim.GetDate(),
                    .afIni = depAFIni.GetDate(),
                    .afFim = depAFFim.GetDate(),
                    .activeOnly = chkAtivProd.Checked(),
                    .grouping = medAgrupProd.Text(),
                    .listaAgreg = ListaAgreg,
                    .nrSolic = NrSolic,
                    .dirExp = DirExp,
                    .dirBin = DirBin};
  // The run may run on a thread of its own (services' runExport). It reads the controls only
  // through the order above, made before it starts; it shows everything through its view,
  // which brings each call back to this thread; of the screen it touches the export tables
  // and the server connection alone, which nothing else uses until it has ended.
  FormRunView view(*this);
  std::optional<ExportRun> run;
  auto body = [&](ExportRunView& runView) {
    run.emplace(ExportRunServices{netExpDados, svc_.files, svc_.registry, svc_.installAide, svc_.reuse, svc_.log},
                runView, exportTables, order);
    run->Run();
  };
  // What the server returned for the parameters, and the eeePC's folder, stay with the screen
  // however the run ends.
  auto takeBack = [&] {
    ListaAgreg = order.listaAgreg;
    NrSolic = order.nrSolic;
    DirExp = order.dirExp;
    if (!run) return;
    closingMessage_ = run->ClosingMessage();
    WrittenFiles = run->Written();
    OverPalmLimit = run->OverPalmLimit();
  };
  runStarted_ = true;
  try {
    if (svc_.runExport)
      svc_.runExport(view, body);
    else
      body(view);
  } catch (...) {
    takeBack();
    throw;
  }
  takeBack();
  sedSolicProd.SetText("");
  sedSolicProd.SetText(NrSolic);
}

}  // namespace kve
