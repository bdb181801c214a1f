#include <gtest/gtest.h>

#include "eeepc/epc_device.h"
#include "params/expdados_messages.h"
#include "support/expdados_world.h"

namespace kve {
namespace {

using testing::OpenScreen;

class EpcSelection : public OpenScreen, public ::testing::Test {
 protected:
  EpcSelection() { screen.UserClick(screen.rbtEPc); }
};

TEST_F(EpcSelection, ATypedCodeIsPaddedNamedAndLeadsToTheEeePcsShare) {
  screen.UserType(screen.medCdEPc, "2");
  EXPECT_TRUE(screen.UserTab());
  EXPECT_EQ(screen.medCdEPc.Text(), "002");
  EXPECT_EQ(screen.edtNmEPC.Text(), "NOTE-KITCHEN-01");
  EXPECT_EQ(screen.medDiretorios.Text(), "\\\\NOTE-KITCHEN-01\\Orvanta Web\\EeePc\\Kve\\Exp");

  screen.UserType(screen.medCdEPc, "3");  // any change drops name and folder
  EXPECT_EQ(screen.edtNmEPC.Text(), "");
  EXPECT_EQ(screen.medDiretorios.Text(), "");
}

TEST_F(EpcSelection, AnEmptyCodePassesOnLeavingButNotWhenRequired) {
  screen.medDiretorios.SetText("something");
  screen.UserFocus(screen.medCdEPc);
  EXPECT_TRUE(screen.UserTab());
  EXPECT_EQ(screen.medDiretorios.Text(), "");
  EXPECT_TRUE(dialogs.Shown().empty());

  screen.UserFocus(screen.medCdNutricio);
  EXPECT_FALSE(screen.RunEvent([this] { screen.Vd_ePc(screen.medCdEPc.Text(), true); }));
  EXPECT_EQ(dialogs.Errors(), (std::vector<std::string>{"eeePc deve ser informado."}));
  EXPECT_EQ(screen.ActiveControl(), &screen.medCdEPc);
}

TEST_F(EpcSelection, CodesOfAPalmOrOfAnotherCentralAreNotEeePcsOfThisCentral) {
  // 001 is a Palm; 004 an eeePC of central 0005; 005 does not exist.
  for (const char* code : {"1", "004", "5"}) {
    SCOPED_TRACE(code);
    dialogs.Clear();
    screen.medCdEPc.SetText("");
    screen.UserType(screen.medCdEPc, code);
    EXPECT_FALSE(screen.UserTab());
    EXPECT_EQ(dialogs.Errors(), (std::vector<std::string>{"eeePc não cadastrado."}));
    EXPECT_EQ(screen.ActiveControl(), &screen.medCdEPc);
    EXPECT_EQ(screen.medCdEPc.Text().size(), 3u);
    EXPECT_EQ(screen.edtNmEPC.Text(), "");
  }
}

TEST_F(EpcSelection, WithoutACentralKitchenNoCodeIsFound) {
  screen.medCdFilial.SetText("");
  screen.UserType(screen.medCdEPc, "2");
  EXPECT_FALSE(screen.UserTab());
  EXPECT_EQ(dialogs.Errors(), (std::vector<std::string>{"eeePc não cadastrado."}));
}

TEST_F(EpcSelection, PickingFromTheListFillsCodeAndNameButNotTheFolder) {
  dialogs.Pick({0});
  screen.UserClick(screen.btnEpc);
  ASSERT_EQ(dialogs.Shown().size(), 1u);
  EXPECT_EQ(dialogs.Shown()[0].pick.title, "eeePc");
  EXPECT_EQ(dialogs.Shown()[0].pick.rows,
            (std::vector<std::vector<std::string>>{{"002", "NOTE-KITCHEN-01"}, {"003", "..\\EVIL"}}));
  EXPECT_EQ(screen.medCdEPc.Text(), "002");
  EXPECT_EQ(screen.edtNmEPC.Text(), "NOTE-KITCHEN-01");
  EXPECT_EQ(screen.medDiretorios.Text(), "");
}

TEST_F(EpcSelection, ANameThatIsNoComputerNameNeverBecomesAFolder) {
  screen.UserType(screen.medCdEPc, "3");
  EXPECT_TRUE(screen.UserTab());
  EXPECT_EQ(screen.edtNmEPC.Text(), "..\\EVIL");
  EXPECT_EQ(screen.medDiretorios.Text(), "");
}

TEST(EpcNames, OnlyPlainComputerNamesAreAccepted) {
  for (const char* ok : {"NOTE-KITCHEN-01", "eeepc7", "A"}) {
    EXPECT_TRUE(eeepc::IsNetworkComputerName(ok)) << ok;
  }
  for (const char* bad : {"", "A\\B", "A/B", "..", "..\\EVIL", "NOTE 01", "NOTE\t01", "A\x7f"}) {
    EXPECT_FALSE(eeepc::IsNetworkComputerName(bad)) << bad;
  }
}

// The first check of the eeePC deployment.
class EpcShare : public testing::ExpDadosWorld, public ::testing::Test {
 protected:
  TMessages messages{ExpDadosMessageLines(), dialogs};
};

TEST_F(EpcShare, AReachableShareIsTheEeePcsSharedFolder) {
  files->CreateDir("\\\\NOTE-01\\Orvanta Web");
  EXPECT_EQ(eeepc::CheckEpcShare(*files, messages, dialogs, "NOTE-01"), "\\\\NOTE-01\\Orvanta Web");
  EXPECT_TRUE(dialogs.Shown().empty());
}

TEST_F(EpcShare, AnUnreachableOrUnusableNameIsRefusedWithTheSharedFolderMessage) {
  // "EVIL\C$" would reach another share that does exist.
  files->CreateDir("\\\\EVIL\\C$");
  files->CreateDir("\\\\EVIL\\C$\\Orvanta Web");
  for (const char* name : {"NOTE-02", "EVIL\\C$", "..\\EVIL"}) {
    SCOPED_TRACE(name);
    dialogs.Clear();
    EXPECT_THROW(eeepc::CheckEpcShare(*files, messages, dialogs, name), EAbort);
    EXPECT_EQ(dialogs.Errors(),
              (std::vector<std::string>{"Operação bloqueada. O diretório \\\\" + std::string(name) +
                                        "\\Orvanta Web não está compartilhado, ou não está com "
                                        "permissão de alteração."}));
  }
}

}  // namespace
}  // namespace kve
