#include "export/search_codes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "export/export_tables.h"
#include "platform/common/error.h"

namespace kve::exporting {
namespace {

using namespace kve::exporting::testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kTreeMask = "99.99.999.9999;0;_";

TEST(SearchCodes, SoliCompCodesReplaceTheServersAndAreStoredAsPlainRows) {
  TClientDataSet sc;
  Create(sc, "SOLICOMP");
  AddRow(sc, {{"NRSOLICMP", "10"}, {"CDARVPROD", "01020030004"}, {"CDPSQPROD", "stale"}, {"NMPRODUTO", "Arroz"}});
  AddRow(sc, {{"NRSOLICMP", "11"}, {"CDARVPROD", "0102"}, {"NMPRODUTO", "Cereais"}});
  DeriveSoliCompCodes(sc, kTreeMask);
  EXPECT_THAT(Column(sc, "CDPSQPROD"), ElementsAre("01.02.003.0004", "01.02.   .    "));
  EXPECT_THAT(Column(sc, "NMPRODUTO"), ElementsAre("Arroz", "Cereais"));
  EXPECT_THAT(Column(sc, "NRSOLICMP"), ElementsAre("10", "11"));
  EXPECT_EQ(sc.ChangeCount(), 0);
}

class ProductIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    Create(produto_, "PRODUTO");
  }
  void Add(const char* tree) { AddRow(produto_, {{"CDPRODUTO", tree}, {"CDARVPROD", tree}}); }
  std::vector<std::pair<std::string, int>> Derive() {
    DeriveProductCodes(produto_, prodCod_, "99.9;0;_");
    BuildProductIndex(prodCod_, produtoCod_);
    std::vector<std::pair<std::string, int>> rows;
    for (produtoCod_.First(); !produtoCod_.Eof(); produtoCod_.Next())
      rows.emplace_back(produtoCod_.FieldByName("CDPSQPROD").AsString(),
                        produtoCod_.FieldByName("PRODUTONRO").AsInteger());
    return rows;
  }
  TClientDataSet produto_, prodCod_, produtoCod_;
};

TEST_F(ProductIndex, SortsBySearchCodeAndKeepsTheProductsPosition) {
  Add("301");
  Add("102");
  Add("203");
  EXPECT_THAT(Derive(), ElementsAre(std::pair<std::string, int>{"10.2", 1}, std::pair<std::string, int>{"20.3", 2},
                                    std::pair<std::string, int>{"30.1", 0}));
  EXPECT_THAT(Column(produto_, "CDPSQPROD"), ElementsAre("30.1", "10.2", "20.3"));
  EXPECT_EQ(produtoCod_.Name(), "PROD_COD");
  EXPECT_EQ(produtoCod_.ChangeCount(), 0);
  EXPECT_EQ(produto_.ChangeCount(), 0);
}

TEST_F(ProductIndex, KeepsEqualCodesSideBySideInProductOrder) {
  Add("203");
  Add("102");
  Add("203");
  Add("102");
  EXPECT_THAT(Derive(), ElementsAre(std::pair<std::string, int>{"10.2", 1}, std::pair<std::string, int>{"10.2", 3},
                                    std::pair<std::string, int>{"20.3", 0}, std::pair<std::string, int>{"20.3", 2}));
}

TEST_F(ProductIndex, NoProductsGiveAnEmptyIndex) {
  EXPECT_TRUE(Derive().empty());
  EXPECT_EQ(produtoCod_.FieldCount(), 2);
}

TEST_F(ProductIndex, ReplacesTheRowsOfAnEarlierRun) {
  Add("102");
  Derive();
  Create(produto_, "PRODUTO");
  Add("301");
  EXPECT_THAT(Derive(), ElementsAre(std::pair<std::string, int>{"30.1", 0}));
}

TEST(SearchCodes, ACodeTooLongForItsColumnFailsNamingRowKeyAndValueAndChangesNothing) {
  TClientDataSet af;
  Create(af, "ITEMAF");
  AddRow(af, {{"NRAUTOFORN", "77"}, {"CDPRODUTO", "P1"}, {"CDARVPROD", "01020030004"}, {"CDPSQPROD", "old"}});
  AddRow(af, {{"NRAUTOFORN", "78"}, {"CDPRODUTO", "P2"}, {"CDARVPROD", "12345678901234567890"}});
  try {
    DeriveItemAFCodes(af, kTreeMask);
    FAIL() << "no error";
  } catch (const ValueError& e) {
    const std::string what = e.what();
    EXPECT_THAT(what, HasSubstr("ITEMAF row 2 (NRAUTOFORN=78, CDPRODUTO=P2)"));
    EXPECT_THAT(what, HasSubstr("CDPSQPROD"));
    EXPECT_THAT(what, HasSubstr("'12.34.567.8901234567890'"));
  }
  EXPECT_THAT(Column(af, "CDPSQPROD"), ElementsAre("old", ""));
}

TEST(SearchCodes, AProductCodeTooLongLeavesTheIndexUntouched) {
  TClientDataSet produto, prodCod;
  Create(produto, "PRODUTO");
  Create(prodCod, "cdsProdCod");
  AddRow(prodCod, {{"CDPSQPROD", "kept"}, {"PRODUTONRO", "0"}});
  AddRow(produto, {{"CDPRODUTO", "P9"}, {"CDARVPROD", "123456789012345678"}});
  EXPECT_THROW(DeriveProductCodes(produto, prodCod, kTreeMask), ValueError);
  EXPECT_THAT(Column(prodCod, "CDPSQPROD"), ElementsAre("kept"));
}

TEST(SearchCodes, AMissingTreeColumnIsAnErrorNamingTable) {
  TClientDataSet ds("SOLICOMP");
  ds.FieldDefs() = {StringField("CDPSQPROD", 20)};
  ds.CreateDataSet();
  try {
    DeriveSoliCompCodes(ds, kTreeMask);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(std::string(e.what()), HasSubstr("SOLICOMP"));
    EXPECT_THAT(std::string(e.what()), HasSubstr("CDARVPROD"));
  }
}

std::string PictPess(std::string_view type) {
  if (type == "F") return "999.999.999-99;0;_";
  if (type == "J") return "99.999.999/9999-99;0;_";
  return "";
}

TEST(RegistrationNumbers, EachCodeGetsTheMaskOfItsPersonType) {
  TClientDataSet cli;
  Create(cli, "CLIENTE");
  AddRow(cli, {{"CDCLIENTE", "F0001"}, {"NRINSJURCL", "12345678901"}});
  AddRow(cli, {{"CDCLIENTE", "J0002"}, {"NRINSJURCL", "12345678000195"}});
  AddRow(cli, {{"CDCLIENTE", "E0003"}, {"NRINSJURCL", "AB-99"}});
  AddRow(cli, {{"CDCLIENTE", ""}, {"NRINSJURCL", ""}});
  DeriveClientNumbers(cli, PictPess);
  EXPECT_THAT(Column(cli, "NRMSKCLIE"), ElementsAre("123.456.789-01", "12.345.678/0001-95", "AB-99", ""));
  EXPECT_EQ(cli.ChangeCount(), 0);

  TClientDataSet forn;
  Create(forn, "FORNECED");
  AddRow(forn, {{"CDFORNECED", "J77"}, {"NRINSJURFO", "11222333000181"}});
  DeriveSupplierNumbers(forn, PictPess);
  EXPECT_THAT(Column(forn, "NRMSKFORN"), ElementsAre("11.222.333/0001-81"));
}

TEST(RegistrationNumbers, ANumberTooLongForTheColumnNamesTheSupplier) {
  TClientDataSet forn;
  Create(forn, "FORNECED");
  AddRow(forn, {{"CDFORNECED", "J77"}, {"NRINSJURFO", "112223330001819999"}});
  try {
    DeriveSupplierNumbers(forn, PictPess);
    FAIL() << "no error";
  } catch (const ValueError& e) {
    EXPECT_THAT(std::string(e.what()), HasSubstr("FORNECED row 1 (CDFORNECED=J77): NRMSKFORN"));
  }
}

}  // namespace
}  // namespace kve::exporting
