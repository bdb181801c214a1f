#include "export/derivations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "export/export_tables.h"
#include "platform/maker/config.h"

namespace kve::exporting {
namespace {

using namespace kve::exporting::testing;
using ::testing::ElementsAre;

TEST(Derivations, RunInOrderWithTheMakersConfiguredValues) {
  maker::HostConfig config = maker::DefaultConfig("data");
  config.product_mask = "9.99;0;_";
  config.language = "ING";
  maker::Services services(config);
  maker::ServicesScope scope(services);

  TClientDataSet soliComp, produto, prodCod, produtoCod, itemAF, cliente, forneced, param, filial,
      numAF, idioma;
  for (auto [ds, name] : std::vector<std::pair<TClientDataSet*, const char*>>{
           {&soliComp, "SOLICOMP"}, {&produto, "PRODUTO"}, {&itemAF, "ITEMAF"},
           {&cliente, "CLIENTE"}, {&forneced, "FORNECED"}, {&param, "PARAM"},
           {&filial, "FILIAL"}, {&numAF, "NUMAF"}})
    Create(*ds, name);
  AddRow(soliComp, {{"CDARVPROD", "102"}});
  AddRow(produto, {{"CDARVPROD", "305"}});
  AddRow(produto, {{"CDARVPROD", "102"}});
  AddRow(itemAF, {{"CDARVPROD", "2"}});
  AddRow(cliente, {{"CDCLIENTE", "J1"}, {"NRINSJURCL", "12345678000195"}});
  AddRow(forneced, {{"CDFORNECED", "F1"}, {"NRINSJURFO", "12345678901"}});
  AddRow(param, {{"IDBLOQNFSAF", "S"}});
  AddRow(filial, {{"CDFILIAL", "0002"}});

  DerivedTableSet tables{soliComp, produto, prodCod, produtoCod, itemAF, cliente,
                         forneced, param,   filial,  numAF,      idioma};
  EXPECT_EQ(DeriveExportTables(tables, MakerDerivationValues()), "S");
  EXPECT_THAT(Column(soliComp, "CDPSQPROD"), ElementsAre("1.02"));
  EXPECT_THAT(Column(produtoCod, "CDPSQPROD"), ElementsAre("1.02", "3.05"));
  EXPECT_THAT(Column(produtoCod, "PRODUTONRO"), ElementsAre("1", "0"));
  EXPECT_THAT(Column(itemAF, "CDPSQPROD"), ElementsAre("2.  "));
  EXPECT_THAT(Column(cliente, "NRMSKCLIE"), ElementsAre("12.345.678/0001-95"));
  EXPECT_THAT(Column(forneced, "NRMSKFORN"), ElementsAre("123.456.789-01"));
  EXPECT_THAT(Column(idioma, "CDIDIOMA"), ElementsAre("2"));
}

}  // namespace
}  // namespace kve::exporting
