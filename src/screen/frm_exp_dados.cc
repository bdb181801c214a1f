#include "screen/frm_exp_dados.h"

#include <cstdio>

#include "host/central_kitchen.h"
#include "params/expdados_messages.h"
#include "platform/maker/consiste.h"
#include "platform/maker/host_values.h"
#include "screen/expdados_instance.h"
#include "screen/operator_errors.h"

namespace kve {

TfrmExpDados::TfrmExpDados(ExpDadosServices& services)
    : TfrmPadrImportExport("frmExpDados", services.dialogs, ExpDadosMessageLines()),
      panFilial(this, "panFilial"),
      lblFilial(&panFilial, "lblFilial"),
      medCdFilial(&panFilial, "medCdFilial"),
      btnFilial(&panFilial, "btnFilial"),
      edtNmFilial(&panFilial, "edtNmFilial"),
      grbIntegracao(&panFilial, "grbIntegracao"),
      rbtPalm(&grbIntegracao, "rbtPalm"),
      rbtEPc(&grbIntegracao, "rbtEPc"),
      lblPalm(&grbIntegracao, "lblPalm"),
      medCdPalm(&grbIntegracao, "medCdPalm"),
      btnPalm(&grbIntegracao, "btnPalm"),
      edtNmPalm(&grbIntegracao, "edtNmPalm"),
      lblEPc(&grbIntegracao, "lblEPc"),
      medCdEPc(&grbIntegracao, "medCdEPc"),
      btnEpc(&grbIntegracao, "btnEpc"),
      edtNmEPC(&grbIntegracao, "edtNmEPC"),
      lblNutricio(&panFilial, "lblNutricio"),
      medCdNutricio(&panFilial, "medCdNutricio"),
      btpNutricio(&panFilial, "btpNutricio"),
      edtNmNutricio(&panFilial, "edtNmNutricio"),
      grbAgregada(this, "grbAgregada"),
      rbtTAgreg(&grbAgregada, "rbtTAgreg"),
      rbtLAgreg(&grbAgregada, "rbtLAgreg"),
      btnAgregada(&grbAgregada, "btnAgregada"),
      grbDataCard(this, "grbDataCard"),
      lblCardIni(&grbDataCard, "lblCardIni"),
      depCardIni(&grbDataCard, "depCardIni"),
      lblCardFim(&grbDataCard, "lblCardFim"),
      depCardFim(&grbDataCard, "depCardFim"),
      grbProdutos(this, "grbProdutos"),
      chkArvProd(&grbProdutos, "chkArvProd"),
      chkAtivProd(&grbProdutos, "chkAtivProd"),
      chkSolicProd(&grbProdutos, "chkSolicProd"),
      sedSolicProd(&grbProdutos, "sedSolicProd"),
      lblSolicProd(&grbProdutos, "lblSolicProd"),
      grbDataAF(this, "grbDataAF"),
      lblAFIni(&grbDataAF, "lblAFIni"),
      depAFIni(&grbDataAF, "depAFIni"),
      lblAFFim(&grbDataAF, "lblAFFim"),
      depAFFim(&grbDataAF, "depAFFim"),
      grbDataSoliComp(this, "grbDataSoliComp"),
      lblSoliCompIni(&grbDataSoliComp, "lblSoliCompIni"),
      depSoliCompIni(&grbDataSoliComp, "depSoliCompIni"),
      lblSoliCompFim(&grbDataSoliComp, "lblSoliCompFim"),
      depSoliCompFim(&grbDataSoliComp, "depSoliCompFim"),
      panAgrupProd(this, "panAgrupProd"),
      lblAgrupProd(&panAgrupProd, "lblAgrupProd"),
      medAgrupProd(&panAgrupProd, "medAgrupProd"),
      btpAgrupProd(&panAgrupProd, "btpAgrupProd"),
      edtNmAgrupProd(&panAgrupProd, "edtNmAgrupProd"),
      panDiretorio(this, "panDiretorio"),
      lblDiretorio(&panDiretorio, "lblDiretorio"),
      medDiretorios(&panDiretorio, "medDiretorios"),
      netExpDados(services.server),
      qryFilial(services.db, "qryFilial"),
      qryNutricio(services.db, "qryNutricio"),
      qryVdNutri(services.db, "qryVdNutri"),
      qryAgregada(services.db, "qryAgregada"),
      qryAgregadaOper(services.db, "qryAgregadaOper"),
      qryPalm(services.db, "qryPalm"),
      qryVdPalm(services.db, "qryVdPalm"),
      cdsAgrupProd("AGRUPPROD"),
      cdsHistPalm("HISTPALM"),
      svc_(services) {
  SetCaption("Exportação de Dados");
  lblCodTela.SetCaption("KVE07000");
  sbtImportExport.SetHint("Exportar");
  qryFilial.SetSQL(host::FilialSql());
  OnActivate = [this] { FormActivate(); };
  OnClose = [this] { FormClose(); };
  netExpDados.OnBeforeConnect = [this] { netExpDadosBeforeConnect(); };
  SetupParams();
  SetupEpc();
  SetupPalm();
}

// A screen destroyed without its close step (the package unloaded while it was open) still
// drops the connection it made.
TfrmExpDados::~TfrmExpDados() {
  netExpDados.OnBeforeConnect = nullptr;
  if (netExpDados.Connected()) netExpDados.SetConnected(false);
}

void TfrmExpDados::netExpDadosBeforeConnect() {
  netExpDados.SetHost(Corvane::WebURL());
  netExpDados.SetPort(Corvane::WebPort());
}

void TfrmExpDados::FormCreate() {
  PadrFormCreate();
  sbtImportExportGlyph = kExportGlyph;

  {
    WaitAnimation connecting(svc_.busy, 0);
    netExpDados.SetConnected(true);
  }

  if (svc_.atualizaLocalCache) svc_.atualizaLocalCache({"FILIAL"});

  host::CentralKitchen central = host::ResolveCentralKitchen(qryFilial, Corvane::FiliProc());
  if (!central.found) {
    Consiste::MensErro(svc_.dialogs, msgPadrao.Msg("N_Filial_Centr"), false);
    Close();
    return;
  }
  medCdFilial.SetText(central.code);
  edtNmFilial.SetText(central.name);

  Vd_Diretorios(false);
}

void TfrmExpDados::FormActivate() { Repaint(); }

void TfrmExpDados::FormClose() {
  // First of all: an export of this screen that no HotSync has picked up yet is withdrawn,
  // all but EXPFILIAL.pdb.
  RemoverTodosUsuarios();
  ExpDadosCriado = false;
  netExpDados.SetConnected(false);
  ReleaseExpDadosInstance(this);
  PadrFormClose();
}

void TfrmExpDados::ShowError(const std::exception& e) {
  if (HasOperatorText(e)) Log(e.what());
  svc_.dialogs.ErrorBox(OperatorErrorText(e));
}

void TfrmExpDados::Log(const std::string& line) const {
  if (svc_.log)
    svc_.log(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

void TfrmExpDados::FocusOnFailure(TControl& field, const std::function<void()>& step) {
  try {
    step();
  } catch (...) {
    try {
      if (field.CanFocus()) field.SetFocus();
    } catch (...) {
      // The first failure is the one the operator must hear about.
    }
    throw;
  }
}

}  // namespace kve
