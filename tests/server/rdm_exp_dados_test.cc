#include "server/rdm_exp_dados.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "platform/common/error.h"
#include "server/server_fixture.h"
#include "server/sql_files.h"

namespace kve::server {
namespace {

using kve::testing_server::Column;
using kve::testing_server::ServerDb;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Request {
  std::string central = "0001", lista, menuFrom = "2026-03-02", menuTo = "2026-03-06";
  std::string soliFrom = "2026-03-01", soliTo = "2026-03-05", afFrom = "2026-03-01",
              afTo = "2026-03-31";
  std::string levels = "3", nrSolic = "0", status = "T", grouping, oper = "000000000007";
  std::vector<std::string> Args() const {
    return {central, lista,  menuFrom, menuTo, soliFrom, soliTo, afFrom,
            afTo,    levels, nrSolic,  status, grouping, oper};
  }
};

class RdmExpDadosTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    data_ = std::make_unique<ServerDb>(GetParam());
    if (data_->Skip()) GTEST_SKIP() << "KVE_TEST_PG_URL not set";
    data_->FillSmallCentral();
    db_ = data_->Open();
    module_ = std::make_unique<RdmExpDados>(*db_, sql_, [] {
      return TDateTime::FromDate({2026, 3, 9}, {14, 30, 5, 123});
    });
  }

  // The images of a successful GetTabelas; fails the test on a text answer.
  std::vector<std::string> Tables(const Request& r, Answer* answer = nullptr) {
    Answer a = module_->GetTabelas(r.Args());
    if (answer) *answer = a;
    EXPECT_FALSE(a.failed) << std::get<std::string>(a.value.value);
    if (a.failed) return std::vector<std::string>(kTableSlots);
    return std::get<std::vector<std::string>>(a.value.value);
  }

  std::string FailureText(const Request& r) {
    Answer a = module_->GetTabelas(r.Args());
    EXPECT_TRUE(a.failed);
    return a.failed ? std::get<std::string>(a.value.value) : "";
  }

  SqlFiles sql_ = SqlFiles::BuiltIn();
  std::unique_ptr<ServerDb> data_;
  std::unique_ptr<Database> db_;
  std::unique_ptr<RdmExpDados> module_;
};

constexpr int kEfetivos = 0, kFilial = 2, kOperador = 4, kParam = 5, kProduto = 8,
              kDataSoli = 12, kSoliComp = 13, kSolicita = 14, kNumAF = 16, kItemAF = 17, kExpFilial = 25;

TEST_P(RdmExpDadosTest, AnswersTwentySixImagesTypedAsTheScreenDeclaresThem) {
  auto images = Tables(Request{});
  ASSERT_EQ(images.size(), 26u);
  auto slots = exporting::SlotOrder();
  for (int i = 0; i < kTableSlots; ++i) {
    TClientDataSet ds;
    ds.SetData(images[i]);
    auto want = slots[i]->FieldDefs();
    ASSERT_GE(ds.FieldDefs().size(), want.size()) << slots[i]->table;
    for (size_t f = 0; f < want.size(); ++f) {
      const FieldDef& got = ds.FieldDefs()[f];
      EXPECT_EQ(got.name, want[f].name) << slots[i]->table;
      EXPECT_EQ(got.type, want[f].type) << slots[i]->table << "." << want[f].name;
      EXPECT_EQ(got.size, want[f].size) << slots[i]->table << "." << want[f].name;
    }
  }
}

TEST_P(RdmExpDadosTest, EmptyBranchListBecomesEveryAggregatedBranchOfTheCentral) {
  Answer a;
  auto images = Tables(Request{}, &a);
  EXPECT_EQ(a.byref.at(2), "_0002_0003_0004");
  EXPECT_THAT(Column(images[kFilial], "CDFILIAL"), ElementsAre("0002", "0003", "0004"));
  EXPECT_THAT(Column(images[kFilial], "NMFILIAL"),
              ElementsAre("Escola São João", "Creche Pequeno Príncipe", "Escola Açaí"));
  EXPECT_THAT(Column(images[kExpFilial], "IDBLOQNFSAF"), ElementsAre("N", "N", "S"));
}

TEST_P(RdmExpDadosTest, GivenBranchListIsNarrowedToTheCentralsOwnBranches) {
  Request r;
  r.lista = "_0003_0009_0003";  // 0009 belongs to another central
  Answer a;
  auto images = Tables(r, &a);
  EXPECT_EQ(a.byref.at(2), "_0003");
  EXPECT_THAT(Column(images[kFilial], "CDFILIAL"), ElementsAre("0003"));
  EXPECT_THAT(Column(images[kOperador], "CDFILIOPER"), ElementsAre("0003000000000007"));
  EXPECT_THAT(Column(images[kEfetivos], "CDFILIAL"), ElementsAre("0003"));
  EXPECT_THAT(Column(images[kParam], "IDCONSMEFE"), ElementsAre("S"));
}

TEST_P(RdmExpDadosTest, CentralWithoutBranchesExportsNoBranchRows) {
  Request r;
  r.central = "0002";  // not a central: it has no aggregated branches
  Answer a;
  auto images = Tables(r, &a);
  EXPECT_EQ(a.byref.at(2), "");
  EXPECT_THAT(Column(images[kFilial], "CDFILIAL"), IsEmpty());
  EXPECT_THAT(Column(images[kEfetivos], "CDFILIAL"), IsEmpty());
}

TEST_P(RdmExpDadosTest, DateRangesIncludeTheWholeLastDay) {
  auto images = Tables(Request{});
  // Menu 03-02..03-06: the 11:30 headcount of the 6th is in, the 1st and 7th are out.
  EXPECT_THAT(Column(images[kEfetivos], "NRCDIAKVE"), ElementsAre("2", "6", "3"));
  EXPECT_THAT(Column(images[kEfetivos], "QTCLIENTE"), ElementsAre("12.5", "30", "20"));
  EXPECT_THAT(Column(images[kEfetivos], "FILSETPCDT"),
              ElementsAre("0002ALM  INFANTIL  02/03/2026", "0002ALM  INFANTIL  06/03/2026",
                          "0003LAN  CRECHE    03/03/2026"));
  // Purchase requests 03-01..03-05: the item due on the 9th is out.
  EXPECT_THAT(Column(images[kSoliComp], "CDPRODUTO"), ElementsAre("0000000001", "0000000003"));
  EXPECT_THAT(Column(images[kSoliComp], "QTSOLICPRO"), ElementsAre("5", "3.25"));
  EXPECT_THAT(Column(images[kSolicita], "NRSOLICOMP"), ElementsAre("100", "101"));
  // AF 03-01..03-31: AF2 delivers in April.
  EXPECT_THAT(Column(images[kNumAF], "NRAUTOFORN"), ElementsAre("AF1"));
  EXPECT_THAT(Column(images[kItemAF], "VRPREUNIAF"), ElementsAre("4.1234"));
  EXPECT_THAT(Column(images[kItemAF], "NMPRODUTO"), ElementsAre("Feijão carioca"));

  // Ranges open to the last day there is.
  Request open;
  open.menuTo = open.soliTo = open.afTo = "9999-12-31";
  images = Tables(open);
  EXPECT_THAT(Column(images[kEfetivos], "NRCDIAKVE"), ElementsAre("2", "6", "7", "3"));
  EXPECT_THAT(Column(images[kSoliComp], "CDPRODUTO"),
              ElementsAre("0000000001", "0000000002", "0000000003"));
  EXPECT_THAT(Column(images[kNumAF], "NRAUTOFORN"), ::testing::UnorderedElementsAre("AF1", "AF2"));
}

TEST_P(RdmExpDadosTest, DeliveryDatesJoinTheItemsOfEveryRequestOfABranchAndDay) {
  // Branch 0002: request 100 has items due on the 2nd (one open, one served) and the 9th
  // (out of range); request 102 is served on the 2nd and the 3rd. Branch 0003: request 101
  // is due on the 4th at 08:00 and at 10:00, which are two delivery times.
  data_->Execute(R"sql(
INSERT INTO SOLICITA (CDFILLAN, NRSOLICOMP, CDFILSOLI, DTSOLICOMP, CDOPERSOLI) VALUES
  ('0001', '102', '0002', '2026-02-26', '000000000007');
UPDATE SOLICOMP SET STDATASOLI = 'ATENDIDA' WHERE CDFILLAN = '0001' AND NRSOLICMP = '101';
INSERT INTO SOLICOMP (CDFILLAN, NRSOLICMP, NRITEMSOLI, CDPRODUTO, DTPROGENTR, QTSOLICPRO, STDATASOLI) VALUES
  ('0001', '100', 3, '0000000003', '2026-03-02 00:00:00', 1, 'ATENDIDA'),
  ('0001', '102', 1, '0000000001', '2026-03-02 00:00:00', 2, 'ATENDIDA'),
  ('0001', '102', 2, '0000000003', '2026-03-03 00:00:00', 2, 'ATENDIDA'),
  ('0001', '101', 2, '0000000001', '2026-03-04 10:00:00', 1, 'ABERTA');
)sql");
  auto images = Tables(Request{});
  EXPECT_THAT(Column(images[kDataSoli], "CDFILSOLI"), ElementsAre("0002", "0002", "0003", "0003"));
  EXPECT_THAT(Column(images[kDataSoli], "DTPROGENTR"),
              ElementsAre("02/03/2026", "03/03/2026", "04/03/2026 08:00:00",
                          "04/03/2026 10:00:00"));
  EXPECT_THAT(Column(images[kDataSoli], "STDATASOLI"),
              ElementsAre("ABERTA", "ATENDIDA", "ATENDIDA", "ABERTA"));
}

TEST_P(RdmExpDadosTest, ProductFiltersNarrowTheProducts) {
  Request r;
  EXPECT_THAT(Column(Tables(r)[kProduto], "CDPRODUTO"),
              ElementsAre("0000000001", "0000000002", "0000000003"));
  r.status = "A";
  EXPECT_THAT(Column(Tables(r)[kProduto], "CDPRODUTO"), ElementsAre("0000000001", "0000000003"));
  r.grouping = "0000000001";
  EXPECT_THAT(Column(Tables(r)[kProduto], "CDPRODUTO"), ElementsAre("0000000001"));
  r = Request{};
  r.nrSolic = "1";  // the latest request is 101 (branch 0003), which asks for product 3
  EXPECT_THAT(Column(Tables(r)[kProduto], "CDPRODUTO"), ElementsAre("0000000003"));
  r.nrSolic = "2";
  EXPECT_THAT(Column(Tables(r)[kProduto], "CDPRODUTO"),
              ElementsAre("0000000001", "0000000002", "0000000003"));
  r.lista = "_0002";  // the latest request of branch 0002 alone is 100
  r.nrSolic = "1";
  EXPECT_THAT(Column(Tables(r)[kProduto], "CDPRODUTO"), ElementsAre("0000000001", "0000000002"));
}

TEST_P(RdmExpDadosTest, ByReferenceArgumentsComeBackNormalised) {
  Request r;
  r.nrSolic = " 007 ";
  r.status = "a";
  Answer a;
  Tables(r, &a);
  EXPECT_EQ(a.byref.at(10), "7");
  EXPECT_EQ(a.byref.at(11), "A");
  r.nrSolic = "";
  r.status = "";
  Tables(r, &a);
  EXPECT_EQ(a.byref.at(10), "0");
  EXPECT_EQ(a.byref.at(11), "T");
}

TEST_P(RdmExpDadosTest, BadRequestsAnswerTheirErrorAsTextAndKeepTheByRefValues) {
  Request r;
  r.status = "X";
  Answer a = module_->GetTabelas(r.Args());
  ASSERT_TRUE(a.failed);
  EXPECT_THAT(std::get<std::string>(a.value.value), HasSubstr("product status flag \"X\""));
  EXPECT_EQ(a.byref.at(11), "X");
  r = Request{};
  r.menuTo = "2026-03-01";
  EXPECT_THAT(FailureText(r), HasSubstr("menu date range ends (2026-03-01) before it starts"));
  r = Request{};
  r.lista = "0002_0003";
  EXPECT_THAT(FailureText(r), HasSubstr("aggregated branch list \"0002_0003\""));
  r = Request{};
  r.nrSolic = "-3";
  EXPECT_THAT(FailureText(r), HasSubstr("number of purchase requests \"-3\""));
}

TEST_P(RdmExpDadosTest, ValuesThatLookLikeSqlStayData) {
  Request r;
  r.grouping = "'OR 1=1--";
  EXPECT_THAT(Column(Tables(r)[kProduto], "CDPRODUTO"), IsEmpty());
  r = Request{};
  r.lista = "_0002_'); DROP TABLE FILIAL; --";
  EXPECT_THAT(FailureText(r), HasSubstr("1 to 4 characters"));
  r.lista = "_0'--";
  Answer a;
  Tables(r, &a);
  EXPECT_EQ(a.byref.at(2), "");
  EXPECT_THAT(Column(Tables(Request{})[kFilial], "CDFILIAL"), ElementsAre("0002", "0003", "0004"));
}

TEST_P(RdmExpDadosTest, HistoryAnswersTheLatestRowOfTheDevice) {
  Answer none = module_->GetHistPalm({"0001", "001"});
  ASSERT_FALSE(none.failed) << std::get<std::string>(none.value.value);
  EXPECT_TRUE(none.value.isPacket);
  EXPECT_THAT(Column(std::get<std::string>(none.value.value), "CDPALM"), IsEmpty());

  Answer ins = module_->InsHistPalm({"0001", "001", "Exportação concluída", "0", "1"});
  ASSERT_FALSE(ins.failed) << std::get<std::string>(ins.value.value);
  EXPECT_THAT(Column(std::get<std::string>(ins.value.value), "DTHISTPALM"),
              ElementsAre("09/03/2026 14:30:05"));
  module_->InsHistPalm({"0001", "001", "Exportação concluída", "0", "0"});
  module_->InsHistPalm({"0001", "002", "outra", "0", "1"});

  std::string latest = std::get<std::string>(module_->GetHistPalm({"0001", "001"}).value.value);
  EXPECT_THAT(Column(latest, "IDERROPALM"), ElementsAre("0"));
  EXPECT_THAT(Column(latest, "IDHISTPALM"), ElementsAre("0"));
  EXPECT_THAT(Column(latest, "DTHISTPALM"), ElementsAre("09/03/2026 14:30:05"));
}

TEST_P(RdmExpDadosTest, HistoryArgumentsAreAllCheckedBeforeAnythingIsStored) {
  struct Case {
    std::vector<std::string> args;
    const char* text;
  } cases[] = {
      {{"0001", "Ā01", "x", "0", "0"}, "device code \"Ā01\": character U+0100"},
      {{"0001", "001", "日本", "0", "0"}, "message"},
      {{"0001", "001", "x", "2", "0"}, "history kind \"2\" is neither 0 nor 1"},
      {{"0001", "001", "x", "0", "S"}, "error mark \"S\" is neither 0 nor 1"},
  };
  for (const Case& c : cases) {
    Answer a = module_->InsHistPalm(c.args);
    ASSERT_TRUE(a.failed) << c.text;
    EXPECT_THAT(std::get<std::string>(a.value.value), HasSubstr(c.text));
    Answer after = module_->GetHistPalm({c.args[0], c.args[1]});
    ASSERT_FALSE(after.failed) << std::get<std::string>(after.value.value);
    EXPECT_THAT(Column(std::get<std::string>(after.value.value), "CDPALM"), IsEmpty()) << c.text;
  }
}

TEST_P(RdmExpDadosTest, GroupingsByCodeOrAll) {
  auto codes = [&](std::string code, std::string all) {
    Answer a = module_->GetAgrupProd({code, all});
    EXPECT_FALSE(a.failed);
    return Column(std::get<std::string>(a.value.value), "NMGRUPPROD");
  };
  EXPECT_THAT(codes("0000000002", ""), ElementsAre("Hortifrúti"));
  EXPECT_THAT(codes("", "T"), ElementsAre("Grãos", "Hortifrúti"));
  EXPECT_THAT(codes("0000000099", ""), IsEmpty());
}

TEST_P(RdmExpDadosTest, DatabaseFailureBecomesTheAnswerText) {
  db_->ExecuteScript("DROP TABLE PRODAGRUP");
  Answer a = module_->GetTabelas(Request{}.Args());
  ASSERT_TRUE(a.failed);
  EXPECT_THAT(std::get<std::string>(a.value.value), HasSubstr("sql/08_PRODUTO.sql"));
  EXPECT_EQ(a.byref.at(2), "");  // as received
}

INSTANTIATE_TEST_SUITE_P(Engines, RdmExpDadosTest,
                         ::testing::ValuesIn(kve::testing_server::Engines()));

}  // namespace
}  // namespace kve::server
