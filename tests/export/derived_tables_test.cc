#include "export/derived_tables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "export/export_tables.h"
#include "platform/common/error.h"

namespace kve::exporting {
namespace {

using namespace kve::exporting::testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SupplyAuthorisation : public ::testing::Test {
 protected:
  void SetUp() override {
    Create(param_, "PARAM");
    Create(filial_, "FILIAL");
    Create(numAF_, "NUMAF");
  }
  void Param(const char* flag) { AddRow(param_, {{"IDBLOQNFSAF", flag}}); }
  void Branch(const char* code, const char* flag) {
    AddRow(filial_, {{"CDFILIAL", code}, {"IDBLOQNFSAF", flag}});
  }
  void Authorisation(const char* dest) { AddRow(numAF_, {{"CDFILDEST", dest}}); }
  std::string Check() { return CheckSupplyAuthorisations(param_, filial_, numAF_); }
  TClientDataSet param_, filial_, numAF_;
};

TEST_F(SupplyAuthorisation, ParameterSChecksEveryBranchWhateverItsOwnFlag) {
  Param("S");
  Branch("0002", "N");
  Branch("0003", "N");
  Authorisation("0002");
  EXPECT_EQ(Check(), "S");
  Authorisation("0003");
  EXPECT_EQ(Check(), "N");
}

TEST_F(SupplyAuthorisation, OtherwiseOnlyBranchesFlaggedThemselvesAreChecked) {
  Param("N");
  Branch("0002", "S");
  Branch("0003", "N");
  Authorisation("0002");
  EXPECT_EQ(Check(), "N");
  Branch("0004", "S");
  EXPECT_EQ(Check(), "S");
}

TEST_F(SupplyAuthorisation, DestinationsMatchExactly) {
  Param("S");
  Branch("0002", "N");
  Authorisation("002 ");
  Authorisation("2");
  EXPECT_EQ(Check(), "S");
}

TEST_F(SupplyAuthorisation, TheWalkStopsAtTheFirstBranchWithoutAnAuthorisation) {
  Param("S");
  Branch("0002", "N");
  Branch("0003", "N");
  Branch("0004", "N");
  Authorisation("0002");
  EXPECT_EQ(Check(), "S");
  EXPECT_EQ(filial_.RecNo(), 2);
}

TEST_F(SupplyAuthorisation, NoParameterRowChecksOnlyFlaggedBranches) {
  Branch("0002", "N");
  EXPECT_EQ(Check(), "N");
}

TEST(LanguageTable, HoldsOneInsertedRowWithTheLanguagesCode) {
  TClientDataSet idioma;
  for (const auto& [language, code] : std::vector<std::pair<std::string, std::string>>{
           {"ESP", "1"}, {"ING", "2"}, {"POR", "0"}, {"", "0"}, {"esp", "0"}}) {
    BuildLanguageTable(idioma, language);
    EXPECT_THAT(Column(idioma, "CDIDIOMA"), ElementsAre(code)) << language;
    EXPECT_EQ(idioma.ChangeCount(), 1);
    EXPECT_EQ(idioma.Name(), "TRADUCAO");
  }
}

class EeepcSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    Create(filial_, "FILIAL");
    Create(operador_, "OPERADOR");
  }
  void Build(std::string_view dirExp = "\\\\EPC-01\\Orvanta Web\\EeePc\\Kve\\Exp\\") {
    BuildEeepcSettings(dados_, filial_, operador_, dirExp, "99.99.999.9999;0;_",
                       [](std::string_view pw) { return "T(" + std::string(pw) + ")"; });
  }
  TClientDataSet filial_, operador_, dados_;
};

TEST_F(EeepcSettings, OneRowPerOperatorOrOneEmptyRowPerBranch) {
  AddRow(filial_, {{"CDFILIAL", "0002"}, {"NMFILIAL", "Escola A"}});
  AddRow(filial_, {{"CDFILIAL", "0003"}, {"NMFILIAL", "Escola B"}});
  AddRow(operador_, {{"CDFILIAL", "0003"}, {"CDOPERADOR", "ANA"}, {"NMOPERADOR", "Ana"}, {"CDSENHAOPE", "a1"}, {"CDFILIOPER", "0003ANA"}});
  AddRow(operador_, {{"CDFILIAL", "0009"}, {"CDOPERADOR", "ZE"}, {"CDSENHAOPE", "z"}});
  AddRow(operador_, {{"CDFILIAL", "0003"}, {"CDOPERADOR", "BIA"}, {"NMOPERADOR", "Bia"}, {"CDSENHAOPE", "b2"}});
  AddRow(operador_, {{"CDFILIAL", "0003"}, {"CDOPERADOR", "CAU"}, {"NMOPERADOR", "Caú"}, {"CDSENHAOPE", ""}});
  Build();
  EXPECT_EQ(dados_.Name(), "DADOS_EEPC");
  EXPECT_THAT(Column(dados_, "CDFILIAL"), ElementsAre("0002", "0003", "0003", "0003"));
  EXPECT_THAT(Column(dados_, "NMFILIAL"), ElementsAre("Escola A", "Escola B", "Escola B", "Escola B"));
  EXPECT_THAT(Column(dados_, "CDOPERADOR"), ElementsAre("", "ANA", "BIA", "CAU"));
  EXPECT_THAT(Column(dados_, "NMOPERADOR"), ElementsAre("", "Ana", "Bia", "Caú"));
  EXPECT_THAT(Column(dados_, "CDSENHAOPE"), ElementsAre("", "T(a1)", "T(b2)", "T()"));
  EXPECT_THAT(Column(dados_, "CDFILIOPER"), ElementsAre("", "0003ANA", "", ""));
  EXPECT_THAT(Column(dados_, "PRODMASK"), ::testing::Each(std::string("99.99.999.9999;0;_")));
  EXPECT_THAT(Column(dados_, "DIREXP"), ::testing::Each(std::string("\\\\EPC-01\\Orvanta Web\\EeePc\\Kve\\Exp\\")));
  dados_.First();
  EXPECT_TRUE(dados_.FieldByName("CDOPERADOR").IsNull());  // stays empty, not set to ""
  EXPECT_EQ(dados_.ChangeCount(), 4);                       // saved as inserted rows
  EXPECT_FALSE(operador_.Filtered());
}

TEST_F(EeepcSettings, NoBranchesGiveNoRows) {
  AddRow(operador_, {{"CDFILIAL", "0003"}, {"CDOPERADOR", "ANA"}});
  Build();
  EXPECT_EQ(dados_.RecordCount(), 0);
  EXPECT_EQ(dados_.FieldCount(), 8);
}

TEST_F(EeepcSettings, AnExportFolderTooLongNamesTheRow) {
  AddRow(filial_, {{"CDFILIAL", "0002"}});
  AddRow(operador_, {{"CDFILIAL", "0002"}, {"CDOPERADOR", "ANA"}});
  try {
    Build(std::string(101, 'x'));
    FAIL() << "no error";
  } catch (const ValueError& e) {
    EXPECT_THAT(std::string(e.what()), HasSubstr("DADOS_EEPC row 1 (CDFILIAL=0002, CDOPERADOR=ANA): DIREXP"));
  }
}

}  // namespace
}  // namespace kve::exporting
