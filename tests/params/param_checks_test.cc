#include <gtest/gtest.h>

#include "support/failing_database.h"
#include "support/expdados_world.h"

namespace kve {
namespace {

using testing::OpenScreen;
using testing::TablePacket;
using testing::TextAnswer;

class ParamChecks : public OpenScreen, public ::testing::Test {
 protected:
  // The server's product groupings: GetAgrupProd(code, all) answers the one asked for, or
  // every one when all is "T".
  void ServeGroupings() {
    server.answer = [](const std::string& method, std::vector<RemoteArg>& args) {
      EXPECT_EQ(method, "GetAgrupProd");
      std::vector<std::vector<std::string>> rows = {{"0000000012", "HORTIFRUTI"},
                                                    {"0000000034", "LATICINIOS"}};
      std::vector<std::vector<std::string>> answer;
      for (auto& r : rows) {
        if (args[1].text == "T" || r[0] == args[0].text) answer.push_back(r);
      }
      return TablePacket({{"CDGRUPPROD", 10}, {"NMGRUPPROD", 40}}, answer);
    };
  }
};

TEST_F(ParamChecks, AnEmptyNutritionistPassesAndATypedOneIsPaddedAndNamed) {
  screen.UserFocus(screen.medCdNutricio);
  EXPECT_TRUE(screen.UserTab());
  EXPECT_TRUE(dialogs.Shown().empty());

  screen.UserType(screen.medCdNutricio, "10");
  EXPECT_TRUE(screen.UserTab());
  EXPECT_EQ(screen.medCdNutricio.Text(), "000000000010");
  EXPECT_EQ(screen.edtNmNutricio.Text(), "MARIA NUTRI");
}

TEST_F(ParamChecks, ANutritionistOutsideTheCentralIsRefusedAndKeepsTheFocus) {
  // 30 serves a branch of the other central; 99 does not exist.
  for (const char* code : {"30", "99"}) {
    SCOPED_TRACE(code);
    dialogs.Clear();
    screen.UserType(screen.medCdNutricio, code);
    EXPECT_FALSE(screen.UserTab());
    EXPECT_EQ(dialogs.Errors(), (std::vector<std::string>{"Nutricionista não cadastrado."}));
    EXPECT_EQ(screen.ActiveControl(), &screen.medCdNutricio);
    EXPECT_EQ(screen.medCdNutricio.Text().size(), 12u);
    EXPECT_EQ(screen.edtNmNutricio.Text(), "");
    screen.medCdNutricio.SetText("");
  }
}

TEST_F(ParamChecks, ADatabaseFailureDuringTheCheckIsShownAndKeepsTheFocus) {
  FailingDatabase failing(*db);
  ExpDadosServices broken{failing, server, dialogs, *files, registry, busy, installAide, {}};
  TfrmExpDados s2(broken);
  s2.medCdFilial.SetText("0001");
  failing.FailAfter(0);
  s2.UserType(s2.medCdNutricio, "10");
  EXPECT_FALSE(s2.UserTab());
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_EQ(s2.ActiveControl(), &s2.medCdNutricio);
  EXPECT_EQ(s2.edtNmNutricio.Text(), "");
}

TEST_F(ParamChecks, TheNutritionistListHoldsEachNutritionistOfTheCentralOnce) {
  dialogs.Pick({1});
  screen.UserClick(screen.btpNutricio);
  ASSERT_EQ(dialogs.Shown().size(), 1u);
  const PickRequest& list = dialogs.Shown()[0].pick;
  EXPECT_EQ(list.title, "Nutricionista");
  EXPECT_EQ(list.rows, (std::vector<std::vector<std::string>>{{"000000000010", "MARIA NUTRI"},
                                                              {"000000000020", "JOAO NUTRI"}}));
  EXPECT_EQ(screen.medCdNutricio.Text(), "000000000020");
  EXPECT_EQ(screen.edtNmNutricio.Text(), "JOAO NUTRI");
}

TEST_F(ParamChecks, ATypedGroupingIsPaddedAskedOfTheServerAndNamed) {
  ServeGroupings();
  screen.UserType(screen.medAgrupProd, "12");
  EXPECT_TRUE(screen.UserTab());
  EXPECT_EQ(screen.medAgrupProd.Text(), "0000000012");
  EXPECT_EQ(screen.edtNmAgrupProd.Text(), "HORTIFRUTI");
  ASSERT_EQ(server.calls.size(), 1u);
  EXPECT_EQ(server.calls[0].args, (std::vector<std::string>{"0000000012", ""}));
}

TEST_F(ParamChecks, AnUnknownGroupingIsRefusedAndKeepsTheFocus) {
  ServeGroupings();
  screen.UserType(screen.medAgrupProd, "77");
  EXPECT_FALSE(screen.UserTab());
  EXPECT_EQ(dialogs.Errors(),
            (std::vector<std::string>{"Agrupamento de Produto não cadastrado."}));
  EXPECT_EQ(screen.ActiveControl(), &screen.medAgrupProd);
  EXPECT_EQ(screen.medAgrupProd.Text(), "0000000077");
  EXPECT_EQ(screen.edtNmAgrupProd.Text(), "");
}

TEST_F(ParamChecks, AServerErrorOnTheGroupingIsShownWithItsOwnText) {
  server.answer = [](const std::string&, std::vector<RemoteArg>&) {
    return TextAnswer("ORA-00942: tabela GRUPPROD inexistente");
  };
  screen.UserType(screen.medAgrupProd, "12");
  // The focus leaves for the export button's chain; the check puts it back.
  screen.UserFocus(screen.medCdNutricio);
  EXPECT_EQ(dialogs.Errors(),
            (std::vector<std::string>{"ORA-00942: tabela GRUPPROD inexistente"}));
  EXPECT_EQ(screen.ActiveControl(), &screen.medAgrupProd);

  // Called directly, as the validation chain does, with the focus elsewhere.
  dialogs.Clear();
  screen.medAgrupProd.SetText("");
  screen.medCdNutricio.SetFocus();
  screen.medAgrupProd.SetText("12");
  EXPECT_THROW(screen.Vd_AgrupProd(), Error);
  EXPECT_EQ(screen.ActiveControl(), &screen.medAgrupProd);
}

TEST_F(ParamChecks, TheGroupingListAsksForEveryGroupingAndFillsCodeAndName) {
  ServeGroupings();
  screen.edtNmAgrupProd.SetText("stale");
  dialogs.Pick({1});
  screen.UserClick(screen.btpAgrupProd);
  ASSERT_EQ(server.calls.size(), 1u);
  EXPECT_EQ(server.calls[0].args, (std::vector<std::string>{"", "T"}));
  EXPECT_EQ(screen.medAgrupProd.Text(), "0000000034");
  EXPECT_EQ(screen.edtNmAgrupProd.Text(), "LATICINIOS");

  screen.UserType(screen.medAgrupProd, "5");
  EXPECT_EQ(screen.edtNmAgrupProd.Text(), "");  // any change drops the name
}

TEST_F(ParamChecks, TheBranchPickListFollowsTheNutritionist) {
  screen.UserClick(screen.rbtLAgreg);
  dialogs.Pick({0, 1});
  screen.UserClick(screen.btnAgregada);
  ASSERT_EQ(dialogs.Shown().size(), 1u);
  EXPECT_EQ(dialogs.Shown()[0].pick.title, "Filial");
  EXPECT_TRUE(dialogs.Shown()[0].pick.multiple);
  EXPECT_EQ(screen.ListaAgreg, "_0002_0003");

  // Nutritionist 10 works for 0002 only; 20 for none.
  dialogs.Clear();
  screen.UserType(screen.medCdNutricio, "10");
  screen.UserClick(screen.rbtLAgreg);
  dialogs.Pick({0});
  screen.UserClick(screen.btnAgregada);
  ASSERT_EQ(dialogs.Shown().size(), 1u);
  EXPECT_EQ(dialogs.Shown()[0].pick.rows,
            (std::vector<std::vector<std::string>>{{"0002", "ESCOLA AURORA"}}));
  EXPECT_EQ(screen.ListaAgreg, "_0002");

  dialogs.Clear();
  screen.UserType(screen.medCdNutricio, "20");
  screen.UserClick(screen.rbtLAgreg);
  screen.UserClick(screen.btnAgregada);
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Não há filial agregada cadastrada "
                                                       "para central e nutricionista informados."}));
  EXPECT_EQ(screen.ListaAgreg, "");
}

}  // namespace
}  // namespace kve
