// Rules that keep the export parameters consistent: which controls are usable and what is
// cleared when a choice changes.

#include "platform/maker/consiste.h"
#include "screen/frm_exp_dados.h"

namespace kve {

// "Todos" or "Lista" became the choice: the pick button serves "Lista" only, and a list
// picked before no longer holds.
void TfrmExpDados::rbtTAgregClick() {
  btnAgregada.SetEnabled(rbtLAgreg.Checked());
  ListaAgreg.clear();
}

// "Toda a árvore" excludes the two restricting boxes; they keep their checks while disabled.
void TfrmExpDados::chkArvProdClick() {
  chkAtivProd.SetEnabled(!chkArvProd.Checked());
  chkSolicProd.SetEnabled(!chkArvProd.Checked());
  sedSolicProd.SetEnabled(chkSolicProd.Checked());
  lblSolicProd.SetEnabled(chkSolicProd.Enabled());
  sedSolicProd.SetValue(0);
}

// Either restricting box excludes "Toda a árvore"; the count is usable with "Últimas" only.
void TfrmExpDados::chkAtivProdClick() {
  chkArvProd.SetEnabled(!chkAtivProd.Checked() && !chkSolicProd.Checked());
  sedSolicProd.SetEnabled(chkSolicProd.Checked());
  lblSolicProd.SetEnabled(chkSolicProd.Enabled());
}

void TfrmExpDados::ControleExportacao() {
  const bool palm = rbtPalm.Checked();
  const bool epc = rbtEPc.Checked();
  lblPalm.SetEnabled(palm);
  medCdPalm.SetEnabled(palm);
  btnPalm.SetEnabled(palm);
  lblEPc.SetEnabled(epc);
  medCdEPc.SetEnabled(epc);
  btnEpc.SetEnabled(epc);
  if (palm) Vd_Diretorios(false);
}

void TfrmExpDados::rbtPalmClick() {
  medCdEPc.SetText("");
  edtNmEPC.SetText("");
  medCdPalm.SetColor(clInfoBk);
  medCdEPc.SetColor(clBtnFace);
  ControleExportacao();
}

void TfrmExpDados::rbtEPcClick() {
  medCdPalm.SetText("");
  edtNmPalm.SetText("");
  medCdPalm.SetColor(clBtnFace);
  medCdEPc.SetColor(clInfoBk);
  ControleExportacao();
  if (Consiste::EmptyString(medCdEPc.Text())) medDiretorios.SetText("");
}

void TfrmExpDados::grbIntegracaoExit() {
  if (rbtEPc.Checked()) {
    Vd_ePc(medCdEPc.Text(), false);
  } else {
    Vd_Diretorios(false);
  }
}

// A new nutritionist may serve other branches: back to "Todos" (R1 runs when that changes
// the choice).
void TfrmExpDados::medCdNutricioChange() {
  edtNmNutricio.SetText("");
  rbtTAgreg.SetChecked(true);
}

void TfrmExpDados::medAgrupProdChange() { edtNmAgrupProd.SetText(""); }

// The purchase-request count: emptied on entry, digits only, never below 0 by the arrows.
void TfrmExpDados::sedSolicProdEnter() { sedSolicProd.SetText(""); }

void TfrmExpDados::sedSolicProdKeyPress(char& key) {
  if (!((key >= '0' && key <= '9') || key == kBackspace)) key = 0;
}

void TfrmExpDados::sedSolicProdChange() {
  if (sedSolicProd.Text() == "-1") sedSolicProd.SetText("0");
}

void TfrmExpDados::sedSolicProdExit() { NrSolic = sedSolicProd.Text(); }

void TfrmExpDados::depCardIniExit() { depCardIni.CheckValidDate(); }
void TfrmExpDados::depCardFimExit() { depCardFim.CheckValidDate(); }
void TfrmExpDados::depSoliCompIniExit() { depSoliCompIni.CheckValidDate(); }
void TfrmExpDados::depSoliCompFimExit() { depSoliCompFim.CheckValidDate(); }
void TfrmExpDados::depAFIniExit() { depAFIni.CheckValidDate(); }
void TfrmExpDados::depAFFimExit() { depAFFim.CheckValidDate(); }

}  // namespace kve
