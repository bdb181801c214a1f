#include <gtest/gtest.h>

#include "screen/expdados_instance.h"
#include "support/expdados_world.h"

namespace kve {
namespace {

using testing::ExpDadosWorld;

// Every test starts as a freshly loaded package with the world's services installed.
class StartUp : public ::testing::Test {
 protected:
  void Open(const std::string& branch) {
    world_.reset();  // its maker services scope must end before the next one begins
    world_ = std::make_unique<ExpDadosWorld>(branch);
    InitExpDadosUnit();
    InstallExpDadosServices(&world_->services);
  }
  void TearDown() override {
    FinalizeExpDadosUnit();
    InstallExpDadosServices(nullptr);
  }
  ExpDadosWorld& w() { return *world_; }

  std::unique_ptr<ExpDadosWorld> world_;
};

TEST_F(StartUp, ACentralBranchShowsItsOwnCodeAndNameAndThePalmFolder) {
  Open("0001");
  IniProc();
  ASSERT_NE(frmExpDados, nullptr);
  EXPECT_TRUE(ExpDadosCriado);
  EXPECT_TRUE(frmExpDados->Showing());
  EXPECT_EQ(frmExpDados->medCdFilial.Text(), "0001");
  EXPECT_EQ(frmExpDados->edtNmFilial.Text(), "CENTRAL NORTE");
  EXPECT_EQ(frmExpDados->medDiretorios.Text(), "C:\\Palm\\Kve\\Exp");
  EXPECT_EQ(frmExpDados->Caption(), "Exportação de Dados");
  EXPECT_EQ(frmExpDados->lblCodTela.Caption(), "KVE07000");
  EXPECT_TRUE(w().dialogs.Shown().empty());
}

TEST_F(StartUp, ConnectsToTheConfiguredServerUnderTheWaitAnimationThenRefreshesBranches) {
  Open("0001");
  IniProc();
  EXPECT_TRUE(w().server.connected);
  EXPECT_EQ(w().server.host, "10.1.2.3");
  EXPECT_EQ(w().server.port, 8299);
  EXPECT_EQ(w().refreshed, (std::vector<std::vector<std::string>>{{"FILIAL"}}));
  EXPECT_EQ(w().busy.Calls(), (std::vector<std::string>{"cursor hourglass", "show 0", "hide",
                                                         "cursor default"}));
}

TEST_F(StartUp, ABranchOfACentralShowsTheCentralsCodeAndName) {
  Open("0002");
  IniProc();
  ASSERT_NE(frmExpDados, nullptr);
  EXPECT_EQ(frmExpDados->medCdFilial.Text(), "0001");
  EXPECT_EQ(frmExpDados->edtNmFilial.Text(), "CENTRAL NORTE");
}

TEST_F(StartUp, ACentralMissingFromTheBranchTableShowsItsCodeWithoutName) {
  Open("0008");
  IniProc();
  ASSERT_NE(frmExpDados, nullptr);
  EXPECT_EQ(frmExpDados->medCdFilial.Text(), "0009");
  EXPECT_EQ(frmExpDados->edtNmFilial.Text(), "");
  EXPECT_TRUE(w().dialogs.Shown().empty());
}

TEST_F(StartUp, ABranchWithoutCentralIsToldAndGetsNoScreen) {
  // No central, unknown branch, and a flag that is "s" rather than "S".
  for (const char* branch : {"0004", "9999", "0007"}) {
    SCOPED_TRACE(branch);
    Open(branch);
    IniProc();
    EXPECT_EQ(frmExpDados, nullptr);
    EXPECT_FALSE(ExpDadosCriado);
    EXPECT_EQ(w().dialogs.Errors(),
              (std::vector<std::string>{"Filial não está ligada a uma central de merenda. O "
                                        "cadastro deve ser realizado na matriz."}));
    EXPECT_FALSE(w().server.connected);  // the close step disconnected
    EXPECT_EQ(w().busy.Cursor(), TCursor::crDefault);
    FinalizeExpDadosUnit();
  }
}

TEST_F(StartUp, AScreenThatClosedItselfAtStartUpOpensOnTheNextEntryCall) {
  Open("0004");
  IniProc();
  ASSERT_EQ(frmExpDados, nullptr);
  // The branch is attached to a central meanwhile; the package was not reloaded.
  w().db->ExecuteScript("UPDATE FILIAL SET CDFILCENTKVE = '0005' WHERE CDFILIAL = '0004';");
  IniProc();
  ASSERT_NE(frmExpDados, nullptr);
  EXPECT_TRUE(ExpDadosCriado);
  EXPECT_EQ(frmExpDados->medCdFilial.Text(), "0005");
  EXPECT_EQ(frmExpDados->edtNmFilial.Text(), "CENTRAL SUL");
}

TEST_F(StartUp, AnUnreachableServerFailsTheEntryAndLeavesNoScreenBehind) {
  Open("0001");
  w().server.refuse = true;
  EXPECT_THROW(IniProc(), Error);
  EXPECT_EQ(frmExpDados, nullptr);
  EXPECT_FALSE(ExpDadosCriado);
  EXPECT_FALSE(w().busy.Animating());
  EXPECT_EQ(w().busy.Cursor(), TCursor::crDefault);
  EXPECT_TRUE(w().refreshed.empty());  // nothing after the connection was tried

  w().server.refuse = false;
  IniProc();
  ASSERT_NE(frmExpDados, nullptr);
  EXPECT_EQ(w().server.connects, 2);
}

TEST_F(StartUp, ASecondEntryCallShowsTheSameScreenRestoredAndRepainted) {
  Open("0001");
  IniProc();
  TfrmExpDados* first = frmExpDados;
  first->SetWindowState(TWindowState::wsMinimized);
  int repaints = first->RepaintCount();
  IniProc();
  EXPECT_EQ(frmExpDados, first);
  EXPECT_EQ(first->WindowState(), TWindowState::wsNormal);
  EXPECT_GT(first->RepaintCount(), repaints);
  EXPECT_EQ(w().server.connects, 1);
}

TEST_F(StartUp, ClosingGivesTheInstanceUpAndTheNextEntryCallBuildsANewScreen) {
  Open("0001");
  IniProc();
  frmExpDados->medCdNutricio.SetText("10");
  frmExpDados->Close();
  EXPECT_EQ(frmExpDados, nullptr);
  EXPECT_FALSE(ExpDadosCriado);
  EXPECT_FALSE(w().server.connected);

  IniProc();
  ASSERT_NE(frmExpDados, nullptr);
  EXPECT_EQ(frmExpDados->medCdNutricio.Text(), "");  // nothing survives a close
  EXPECT_EQ(w().server.connects, 2);
  EXPECT_TRUE(w().server.connected);
}

TEST(StartUpWithoutHost, AnEntryCallWithoutServicesSaysWhatIsMissing) {
  InstallExpDadosServices(nullptr);
  try {
    IniProc();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("services"), std::string::npos);
  }
}

}  // namespace
}  // namespace kve
