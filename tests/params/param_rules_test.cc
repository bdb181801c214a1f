#include <gtest/gtest.h>

#include "support/expdados_world.h"

namespace kve {
namespace {

using testing::OpenScreen;

class ParamRules : public OpenScreen, public ::testing::Test {};

std::vector<std::string> Names(const std::vector<TControl*>& controls) {
  std::vector<std::string> out;
  for (TControl* c : controls) out.push_back(c->Name());
  return out;
}

TEST_F(ParamRules, TheKeyboardVisitsTheFieldsInTheScreensOrder) {
  EXPECT_EQ(Names(screen.TabList()),
            (std::vector<std::string>{"rbtPalm", "rbtEPc", "medCdPalm", "medCdNutricio",
                                      "rbtTAgreg", "rbtLAgreg", "depCardIni", "depCardFim",
                                      "chkArvProd", "depAFIni", "depAFFim", "depSoliCompIni",
                                      "depSoliCompFim", "medAgrupProd"}));
}

TEST_F(ParamRules, ChangingBetweenAllAndListEmptiesThePickedList) {
  screen.UserClick(screen.rbtLAgreg);
  EXPECT_TRUE(screen.btnAgregada.Enabled());
  dialogs.Pick({0, 1});
  screen.UserClick(screen.btnAgregada);
  EXPECT_EQ(screen.ListaAgreg, "_0002_0003");

  screen.UserClick(screen.rbtTAgreg);
  EXPECT_FALSE(screen.btnAgregada.Enabled());
  EXPECT_EQ(screen.ListaAgreg, "");
  screen.UserClick(screen.rbtLAgreg);
  EXPECT_TRUE(screen.btnAgregada.Enabled());
  EXPECT_EQ(screen.ListaAgreg, "");
}

TEST_F(ParamRules, ANewNutritionistReturnsToAllBranchesButTheSameOneChangesNothing) {
  screen.UserType(screen.medCdNutricio, "10");
  screen.UserTab();
  screen.UserClick(screen.rbtLAgreg);
  dialogs.Pick({0});
  screen.UserClick(screen.btnAgregada);
  ASSERT_EQ(screen.ListaAgreg, "_0002");

  // Picking the same nutritionist again: the code does not change.
  dialogs.Pick({0});
  screen.UserClick(screen.btpNutricio);
  EXPECT_TRUE(screen.rbtLAgreg.Checked());
  EXPECT_EQ(screen.ListaAgreg, "_0002");

  dialogs.Pick({1});
  screen.UserClick(screen.btpNutricio);
  EXPECT_EQ(screen.medCdNutricio.Text(), "000000000020");
  EXPECT_EQ(screen.edtNmNutricio.Text(), "JOAO NUTRI");
  EXPECT_TRUE(screen.rbtTAgreg.Checked());
  EXPECT_FALSE(screen.btnAgregada.Enabled());
  EXPECT_EQ(screen.ListaAgreg, "");
}

TEST_F(ParamRules, TheWholeTreeExcludesTheRestrictingBoxesAndOnlyLatestEnablesTheCount) {
  screen.UserClick(screen.chkArvProd);  // unchecked
  EXPECT_TRUE(screen.chkAtivProd.Enabled());
  EXPECT_TRUE(screen.chkSolicProd.Enabled());
  EXPECT_FALSE(screen.sedSolicProd.Enabled());
  EXPECT_TRUE(screen.lblSolicProd.Enabled());  // follows the box's enabling, not its check

  screen.UserClick(screen.chkSolicProd);
  EXPECT_FALSE(screen.chkArvProd.Enabled());
  EXPECT_TRUE(screen.sedSolicProd.Enabled());
  screen.UserType(screen.sedSolicProd, "5");
  screen.UserClick(screen.chkSolicProd);  // unchecked again
  EXPECT_TRUE(screen.chkArvProd.Enabled());
  EXPECT_FALSE(screen.sedSolicProd.Enabled());
  EXPECT_EQ(screen.sedSolicProd.Text(), "5");  // kept while disabled

  screen.UserClick(screen.chkAtivProd);
  EXPECT_FALSE(screen.chkArvProd.Enabled());
  screen.UserClick(screen.chkAtivProd);
  EXPECT_TRUE(screen.chkArvProd.Enabled());

  screen.UserClick(screen.chkSolicProd);
  screen.UserClick(screen.chkAtivProd);
  screen.UserClick(screen.chkSolicProd);  // "Somente ativos" still holds the tree back
  EXPECT_FALSE(screen.chkArvProd.Enabled());
  screen.UserClick(screen.chkAtivProd);
  screen.UserClick(screen.chkArvProd);  // checked again: the others keep their state
  EXPECT_FALSE(screen.chkAtivProd.Enabled());
  EXPECT_FALSE(screen.sedSolicProd.Enabled());
  EXPECT_FALSE(screen.lblSolicProd.Enabled());
  EXPECT_EQ(screen.sedSolicProd.Value(), 0);
}

TEST_F(ParamRules, TheCountTakesDigitsOnlyStartsEmptyAndNeverGoesBelowZero) {
  screen.UserClick(screen.chkArvProd);
  screen.UserClick(screen.chkSolicProd);
  screen.UserType(screen.sedSolicProd, "-a3x");
  EXPECT_EQ(screen.sedSolicProd.Text(), "3");
  screen.UserKey(screen.sedSolicProd, kBackspace);
  EXPECT_EQ(screen.sedSolicProd.Text(), "");
  screen.UserSpin(screen.sedSolicProd, -1);
  EXPECT_EQ(screen.sedSolicProd.Text(), "0");
  screen.UserSpin(screen.sedSolicProd, 2);
  screen.UserTab();
  EXPECT_EQ(screen.NrSolic, "2");

  screen.UserFocus(screen.sedSolicProd);
  EXPECT_EQ(screen.sedSolicProd.Text(), "");
}

TEST_F(ParamRules, ChoosingTheEeePcClearsAndLocksThePalmAndBack) {
  screen.UserType(screen.medCdPalm, "1");
  screen.edtNmPalm.SetText("PALM 01");
  screen.UserClick(screen.rbtEPc);
  EXPECT_EQ(screen.medCdPalm.Text(), "");
  EXPECT_EQ(screen.edtNmPalm.Text(), "");
  EXPECT_FALSE(screen.medCdPalm.Enabled());
  EXPECT_FALSE(screen.btnPalm.Enabled());
  EXPECT_FALSE(screen.lblPalm.Enabled());
  EXPECT_EQ(screen.medCdPalm.Color(), clBtnFace);
  EXPECT_TRUE(screen.medCdEPc.Enabled());
  EXPECT_EQ(screen.medCdEPc.Color(), clInfoBk);
  EXPECT_EQ(screen.medDiretorios.Text(), "");  // no eeePC code yet

  screen.UserType(screen.medCdEPc, "2");
  screen.UserTab();
  ASSERT_EQ(screen.edtNmEPC.Text(), "NOTE-KITCHEN-01");
  screen.UserClick(screen.rbtPalm);
  EXPECT_EQ(screen.medCdEPc.Text(), "");
  EXPECT_EQ(screen.edtNmEPC.Text(), "");
  EXPECT_FALSE(screen.medCdEPc.Enabled());
  EXPECT_EQ(screen.medDiretorios.Text(), "C:\\Palm\\Kve\\Exp");
}

TEST_F(ParamRules, LeavingTheDeviceGroupChecksTheEeePcCode) {
  screen.UserClick(screen.rbtEPc);
  screen.medCdEPc.SetText("1");  // set without leaving the field: a Palm's code
  screen.UserFocus(screen.rbtEPc);
  EXPECT_FALSE(screen.UserFocus(screen.medCdNutricio));
  EXPECT_EQ(dialogs.Errors(), (std::vector<std::string>{"eeePc não cadastrado."}));
  EXPECT_EQ(screen.ActiveControl(), &screen.medCdEPc);
}

TEST_F(ParamRules, LeavingAMalformedDateIsReportedAndKeepsTheFocus) {
  screen.UserType(screen.depCardIni, "31022024");
  EXPECT_FALSE(screen.UserTab());
  EXPECT_EQ(screen.ActiveControl(), &screen.depCardIni);
  ASSERT_EQ(dialogs.Errors().size(), 1u);

  dialogs.Clear();
  screen.depCardIni.SetText("29/02/2024");
  EXPECT_TRUE(screen.UserTab());
  EXPECT_EQ(screen.ActiveControl(), &screen.depCardFim);
  EXPECT_TRUE(dialogs.Errors().empty());
}

}  // namespace
}  // namespace kve
