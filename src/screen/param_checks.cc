// Field checks on exit and the look-ups of the nutritionist, the product grouping and the
// aggregated branches.

#include "params/lookups.h"
#include "params/param_queries.h"
#include "platform/common/error.h"
#include "platform/maker/consiste.h"
#include "platform/maker/pesquisa_lista.h"
#include "screen/frm_exp_dados.h"

namespace kve {

void TfrmExpDados::medCdNutricioExit() { Vd_Nutricio(); }

void TfrmExpDados::Vd_Nutricio() {
  if (Consiste::EmptyString(medCdNutricio.Text())) return;  // optional
  FocusOnFailure(medCdNutricio, [this] {
    medCdNutricio.SetText(Consiste::Ajusta(medCdNutricio.Text(), params::kNutricioWidth));
    auto name = params::FindNutricio(qryVdNutri, medCdNutricio.Text(), medCdFilial.Text());
    if (!name) return Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("NUTRI_NCAD"), true);
    edtNmNutricio.SetText(*name);
  });
}

void TfrmExpDados::btpNutricioBeforePesq() {
  params::OpenNutricioList(qryNutricio, medCdFilial.Text());
}

void TfrmExpDados::btpNutricioAfterPesq() {
  medCdNutricio.SetText(qryNutricio.FieldByName("CDOPERADOR").AsString());
  edtNmNutricio.SetText(qryNutricio.FieldByName("NMOPERADOR").AsString());
}

void TfrmExpDados::medAgrupProdExit() { Vd_AgrupProd(); }

void TfrmExpDados::Vd_AgrupProd() {
  if (Consiste::EmptyString(medAgrupProd.Text())) return;  // optional
  FocusOnFailure(medAgrupProd, [this] {
    medAgrupProd.SetText(Consiste::Ajusta(medAgrupProd.Text(), params::kAgrupProdWidth));
    params::LoadAgrupProd(netExpDados, medAgrupProd.Text(), "", cdsAgrupProd);
    cdsAgrupProd.First();
    if (cdsAgrupProd.Eof()) {
      Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("AgrupProd_cad"), true);
    }
    edtNmAgrupProd.SetText(cdsAgrupProd.FieldByName("NMGRUPPROD").AsString());
  });
}

void TfrmExpDados::btpAgrupProdBeforePesq() {
  params::LoadAgrupProd(netExpDados, "", "T", cdsAgrupProd);
}

void TfrmExpDados::btpAgrupProdAfterPesq() {
  medAgrupProd.SetText(cdsAgrupProd.FieldByName("CDGRUPPROD").AsString());
  edtNmAgrupProd.SetText(cdsAgrupProd.FieldByName("NMGRUPPROD").AsString());
}

void TfrmExpDados::btnAgregadaClick() {
  TADOIBQuery* source;
  std::string text = msgPadrao.Msg("Fili_Agreg") + "|";
  if (Consiste::EmptyString(medCdNutricio.Text())) {
    params::OpenAgregada(qryAgregada, medCdFilial.Text());
    source = &qryAgregada;
    text += msgPadrao.Msg("Agreg_NCad");
  } else {
    params::OpenAgregadaOper(qryAgregadaOper, medCdFilial.Text(), medCdNutricio.Text());
    source = &qryAgregadaOper;
    text += msgPadrao.Msg("Agreg_NCad_Nutri");
  }
  PesquisaLista(svc_.dialogs, source->Rows(), "CDFILIAL", text, false, ListaAgreg,
                {{"CDFILIAL", "Código"}, {"NMFILIAL", "Nome"}});
}

}  // namespace kve
