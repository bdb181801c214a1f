// Captions, formats, initial states and event wiring of the parameter controls.

#include "params/lookups.h"
#include "screen/frm_exp_dados.h"

namespace kve {
namespace {

void DisplayOnly(TCustomEdit& e) {
  e.SetEnabled(false);
  e.SetColor(clBtnFace);
}

void CodeEdit(TMaskEdit& e, const char* mask, int maxLength) {
  e.SetEditMask(mask);
  e.SetMaxLength(maxLength);
}

void LookupButton(TBtnPesquisa& b, const char* title, const char* empty, TControl& associate) {
  b.SetTitle(title);
  b.SetEmptyError(empty);
  b.SetAssociate(&associate);
}

void DateEdit(TDateEditPlus& d, bool autoSelect) {
  d.SetColor(clInfoBk);
  d.SetValidDateColor(clBlue);
  d.SetWeekDayNames({"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"});
  d.SetAutoSelect(autoSelect);
}

}  // namespace

void TfrmExpDados::SetupParams() {
  // Central kitchen: display only, filled at start-up.
  lblFilial.SetCaption("Central de Alimentação Escolar");
  CodeEdit(medCdFilial, ">aaaa;0; ", 4);
  DisplayOnly(medCdFilial);
  btnFilial.SetTitle("Filial");
  btnFilial.SetAssociate(&medCdFilial);
  btnFilial.SetEnabled(false);
  DisplayOnly(edtNmFilial);

  // Target device: Palm at start.
  grbIntegracao.SetCaption("");
  rbtPalm.SetCaption("Palm");
  rbtPalm.SetChecked(true);
  rbtEPc.SetCaption("eeePC");
  lblPalm.SetCaption("Palm");
  CodeEdit(medCdPalm, "999;0; ", 3);
  medCdPalm.SetColor(clInfoBk);
  LookupButton(btnPalm, "Palm", "Não há palm cadastrado.", medCdPalm);
  btnPalm.SetDataSource(&qryPalm.Rows());
  btnPalm.SetColumns({{"CDPALM", "Código"}, {"NMPALM", "Nome"}});
  DisplayOnly(edtNmPalm);
  lblEPc.SetCaption("eeePC");
  lblEPc.SetEnabled(false);
  CodeEdit(medCdEPc, "999;0; ", 3);
  DisplayOnly(medCdEPc);
  LookupButton(btnEpc, "eeePc", "Não há eeePc cadastrado.", medCdEPc);
  btnEpc.SetEnabled(false);
  DisplayOnly(edtNmEPC);

  // Nutritionist, optional.
  lblNutricio.SetCaption("Nutricionista");
  CodeEdit(medCdNutricio, "999999999999;0; ", 12);
  LookupButton(btpNutricio, "Nutricionista", "Não há nutricionistas cadastrados.", medCdNutricio);
  btpNutricio.SetDataSource(&qryNutricio.Rows());
  btpNutricio.SetColumns({{"CDOPERADOR", "Código"}, {"NMOPERADOR", "Nome"}});
  DisplayOnly(edtNmNutricio);

  // Aggregated branches: all of them at start.
  grbAgregada.SetCaption("Filial Agregada");
  rbtTAgreg.SetCaption("Todos");
  rbtTAgreg.SetChecked(true);
  rbtLAgreg.SetCaption("Lista");
  btnAgregada.SetAssociate(&rbtLAgreg);
  btnAgregada.SetEnabled(false);

  // Date ranges: the initial dates keep their text on entry, the final dates select it.
  grbDataCard.SetCaption("Data do Cardápio");
  grbDataSoliComp.SetCaption("Data Solicitação Compras");
  grbDataAF.SetCaption("Data das AF's");
  for (TLabel* l : {&lblCardIni, &lblSoliCompIni, &lblAFIni}) l->SetCaption("Inicial");
  for (TLabel* l : {&lblCardFim, &lblSoliCompFim, &lblAFFim}) l->SetCaption("Final");
  for (TDateEditPlus* d : {&depCardIni, &depSoliCompIni, &depAFIni}) DateEdit(*d, false);
  for (TDateEditPlus* d : {&depCardFim, &depSoliCompFim, &depAFFim}) DateEdit(*d, true);

  // Product filter: the whole tree at start.
  grbProdutos.SetCaption("Produtos");
  chkArvProd.SetCaption("Toda a árvore");
  chkArvProd.SetChecked(true);
  chkAtivProd.SetCaption("Somente ativos");
  chkAtivProd.SetEnabled(false);
  chkSolicProd.SetCaption("Últimas");
  chkSolicProd.SetEnabled(false);
  sedSolicProd.SetMaxLength(9);
  sedSolicProd.SetBounds(0, 0);
  sedSolicProd.SetValue(0);
  sedSolicProd.SetEnabled(false);
  lblSolicProd.SetCaption("Solicitações de compras");
  lblSolicProd.SetEnabled(false);

  // Product grouping, optional.
  lblAgrupProd.SetCaption("Agrupamento de Produto");
  CodeEdit(medAgrupProd, "9999999999;0; ", 10);
  LookupButton(btpAgrupProd, "Agrupamento de Produto", "Não há Agrupamento de Produto cadastrado.",
               medAgrupProd);
  btpAgrupProd.SetDataSource(&cdsAgrupProd);
  btpAgrupProd.SetColumns({{"CDGRUPPROD", "Código"}, {"NMGRUPPROD", "Nome"}});
  DisplayOnly(edtNmAgrupProd);

  lblDiretorio.SetCaption("Diretório de Exportação");
  DisplayOnly(medDiretorios);

  params::PrepareNutricioList(qryNutricio);
  params::PrepareNutricioCheck(qryVdNutri);
  params::PrepareAgregada(qryAgregada);
  params::PrepareAgregadaOper(qryAgregadaOper);

  // Events last, so the initial states above run no rule.
  rbtTAgreg.OnClick = [this] { rbtTAgregClick(); };
  rbtLAgreg.OnClick = [this] { rbtTAgregClick(); };
  chkArvProd.OnClick = [this] { chkArvProdClick(); };
  chkAtivProd.OnClick = [this] { chkAtivProdClick(); };
  chkSolicProd.OnClick = [this] { chkAtivProdClick(); };
  rbtPalm.OnClick = [this] { rbtPalmClick(); };
  rbtEPc.OnClick = [this] { rbtEPcClick(); };
  grbIntegracao.OnExit = [this] { grbIntegracaoExit(); };
  medCdNutricio.OnChange = [this] { medCdNutricioChange(); };
  medCdNutricio.OnExit = [this] { medCdNutricioExit(); };
  btpNutricio.OnBeforePesq = [this] { btpNutricioBeforePesq(); };
  btpNutricio.OnAfterPesq = [this] { btpNutricioAfterPesq(); };
  medAgrupProd.OnChange = [this] { medAgrupProdChange(); };
  medAgrupProd.OnExit = [this] { medAgrupProdExit(); };
  btpAgrupProd.OnBeforePesq = [this] { btpAgrupProdBeforePesq(); };
  btpAgrupProd.OnAfterPesq = [this] { btpAgrupProdAfterPesq(); };
  btnAgregada.OnClick = [this] { btnAgregadaClick(); };
  sbtImportExport.OnClick = [this] { sbtImportExportClick(); };
  sedSolicProd.OnEnter = [this] { sedSolicProdEnter(); };
  sedSolicProd.OnKeyPress = [this](char& key) { sedSolicProdKeyPress(key); };
  sedSolicProd.OnChange = [this] { sedSolicProdChange(); };
  sedSolicProd.OnExit = [this] { sedSolicProdExit(); };
  depCardIni.OnExit = [this] { depCardIniExit(); };
  depCardFim.OnExit = [this] { depCardFimExit(); };
  depSoliCompIni.OnExit = [this] { depSoliCompIniExit(); };
  depSoliCompFim.OnExit = [this] { depSoliCompFimExit(); };
  depAFIni.OnExit = [this] { depAFIniExit(); };
  depAFFim.OnExit = [this] { depAFFimExit(); };
}

}  // namespace kve
