// GetTabelas over the wire against the demo central kitchen, on every engine: what the screen
// receives must be the catalogue's tables, filtered as the request says.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <httplib.h>

#include <fstream>
#include <set>

#include "demo/demo_data.h"
#include "catalogue/catalogue.h"
#include "platform/net/check_result.h"
#include "platform/net/net_connection.h"
#include "platform/net/protocol.h"
#include "support/temp_folder.h"
#include "server/app_server.h"
#include "server/rdm_exp_dados.h"
#include "server/sql_files.h"
#include "server/server_fixture.h"

namespace kve {
namespace {

using ::testing::Contains;
using ::testing::Each;
using ::testing::Not;

const TDateTime kToday = TDateTime::FromDate({2026, 12, 7});

class DemoEndToEnd : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    data_ = std::make_unique<testing_server::ServerDb>(GetParam());
    if (data_->Skip()) GTEST_SKIP() << "KVE_TEST_PG_URL not set";
    server_ = testing_server::StartDemoServer(*data_, kToday);
    link_.SetHost("127.0.0.1");
    link_.SetPort(server_->Port());
    link_.SetConnected(true);
    for (auto& t : tables_) slots_.push_back(&t);
  }

  // Calls GetTabelas for the whole current and previous month and loads the 26 tables.
  void Export(std::string status = "T", std::string grouping = "", std::string nrSolic = "0") {
    lista_ = listaIn_;
    nrSolic_ = std::move(nrSolic);
    status_ = std::move(status);
    auto from = RemoteArg::OfDate(TDateTime::FromDate({2026, 11, 1}));
    auto to = RemoteArg::OfDate(TDateTime::FromDate({2026, 12, 31}));
    std::vector<RemoteArg> args = {RemoteArg::Value(demo::kDemoCentral), RemoteArg::ByRef(lista_),
                                   from, to, from, to, from, to, RemoteArg::Value("3"),
                                   RemoteArg::ByRef(nrSolic_), RemoteArg::ByRef(status_),
                                   RemoteArg::Value(grouping), RemoteArg::Value("000000000007")};
    LoadTableImages(link_.Call("GetTabelas", args), slots_);
  }

  std::vector<std::string> Values(int slot, const char* field) {
    std::vector<std::string> out;
    auto& t = tables_[slot];
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName(field).AsString());
    return out;
  }

  std::unique_ptr<testing_server::ServerDb> data_;
  std::unique_ptr<server::AppServer> server_;
  TNetConnection link_;
  TClientDataSet tables_[26];
  std::vector<TClientDataSet*> slots_;
  std::string listaIn_, lista_, nrSolic_, status_;
};

TEST_P(DemoEndToEnd, ReturnsTheCatalogueTablesForEveryBranch) {
  Export();
  EXPECT_EQ(lista_, "_0002_0003_0004_0005_0006_0007_0008_0009_0010_0011_0012_0013");
  auto slots = exporting::SlotOrder();
  for (int i = 0; i < 26; ++i) {
    auto want = slots[i]->FieldDefs();
    for (const FieldDef& f : want) {
      int at = tables_[i].FindFieldIndex(f.name);
      ASSERT_GE(at, 0) << slots[i]->table << " lacks " << f.name;
      EXPECT_EQ(tables_[i].FieldDefs()[at].type, f.type) << slots[i]->table << "." << f.name;
      EXPECT_EQ(tables_[i].FieldDefs()[at].size, f.size) << slots[i]->table << "." << f.name;
    }
  }
  EXPECT_EQ(tables_[2].RecordCount(), demo::kDemoBranches);  // FILIAL
  EXPECT_EQ(tables_[5].RecordCount(), 1);                     // PARAM
  for (int slot : {0, 4, 8, 9, 13, 16, 17, 20})                // the demo fills these
    EXPECT_GT(tables_[slot].RecordCount(), 0) << slots[slot]->table;
  // The branch kept without supply authorisation really has none.
  EXPECT_THAT(Values(16, "CDFILDEST"), Not(Contains(demo::kDemoBranchWithoutAf)));
  // Headcount dates stay in the range.
  for (auto& d : Values(0, "DTEFETIVO")) EXPECT_TRUE(d.ends_with("/11/2026") || d.ends_with("/12/2026")) << d;
}

TEST_P(DemoEndToEnd, ProductFiltersShrinkTheProductTable) {
  Export();
  std::vector<std::string> all = Values(8, "CDPRODUTO");
  auto db = data_->Open();
  TClientDataSet inactive;
  db->Run("SELECT CDPRODUTO FROM PRODUTO WHERE IDATIVOPROD = 'N'", {}, &inactive);
  ASSERT_GT(inactive.RecordCount(), 0);
  std::string someInactive = inactive.FieldByName("CDPRODUTO").AsString();
  EXPECT_THAT(all, Contains(someInactive));

  Export("A");
  EXPECT_EQ(status_, "A");
  std::vector<std::string> active = Values(8, "CDPRODUTO");
  EXPECT_EQ(active.size() + inactive.RecordCount(), all.size());
  EXPECT_THAT(active, Not(Contains(someInactive)));

  TClientDataSet group;
  db->Run("SELECT G.CDGRUPPROD, COUNT(*) AS N FROM PRODAGRUP G GROUP BY G.CDGRUPPROD "
          "ORDER BY G.CDGRUPPROD", {}, &group);
  ASSERT_GT(group.RecordCount(), 0);
  Export("T", group.FieldByName("CDGRUPPROD").AsString());
  EXPECT_EQ(static_cast<int64_t>(tables_[8].RecordCount()), group.FieldByName("N").AsLargeInt());

  Export("T", "", "1");
  EXPECT_EQ(nrSolic_, "1");
  std::vector<std::string> fromRequests = Values(8, "CDPRODUTO");
  std::set<std::string> latest(fromRequests.begin(), fromRequests.end());
  EXPECT_GT(latest.size(), 0u);
  EXPECT_LT(latest.size(), all.size());
}

TEST_P(DemoEndToEnd, ListedBranchesAloneAreExported) {
  listaIn_ = "_0003_0013";
  Export();
  EXPECT_EQ(lista_, "_0003_0013");
  EXPECT_THAT(Values(2, "CDFILIAL"), ::testing::ElementsAre("0003", "0013"));
  std::set<std::string> branches = {"0003", "0013"};
  for (auto& b : Values(0, "CDFILIAL")) EXPECT_TRUE(branches.count(b)) << b;
  for (auto& b : Values(13, "CDFILISOLI")) EXPECT_TRUE(branches.count(b)) << b;
  for (auto& b : Values(20, "CDFILIAL")) EXPECT_TRUE(branches.count(b)) << b;
  EXPECT_THAT(Values(16, "CDFILDEST"), Each(::testing::Eq("0003")));
}

// The same call as a client that does not ask for frames sends it: it gets JSON.
httplib::Result PostAsOldClient(int port, const std::string& lista = "") {
  httplib::Client http("127.0.0.1", port);
  http.set_read_timeout(std::chrono::minutes(2));
  const std::string body =
      R"({"jsonrpc":"2.0","id":1,"method":"GetTabelas","params":["0001",")" + lista +
      R"(","2026-11-01","2026-12-31","2026-11-01","2026-12-31","2026-11-01","2026-12-31","3","0","T","","000000000007"]})";
  return http.Post("/Kve07000.rdmExpDados", body, "application/json");
}

TEST_P(DemoEndToEnd, FramesAndJsonCarryTheSameTables) {
  Export();  // the link asks for frames
  ASSERT_TRUE(link_.LastCall().replyBytes > 0);
  auto res = PostAsOldClient(server_->Port());
  ASSERT_TRUE(res);
  EXPECT_EQ(res->get_header_value("Content-Type").rfind("application/json", 0), 0u);
  std::string lista, nr, status;
  std::vector<RemoteArg> args(13, RemoteArg::Value(""));
  args[1] = RemoteArg::ByRef(lista);
  args[9] = RemoteArg::ByRef(nr);
  args[10] = RemoteArg::ByRef(status);
  RemoteValue json = rpc::DecodeReply(res->body, 1, args);
  EXPECT_EQ(lista, lista_);
  const auto& images = std::get<std::vector<std::string>>(json.value);
  ASSERT_EQ(images.size(), 26u);
  size_t packets = 0;
  for (int i = 0; i < 26; ++i) {
    TClientDataSet t;
    t.SetData(images[i]);
    EXPECT_EQ(t.Data(), tables_[i].Data()) << i;
    packets += images[i].size();
  }
  // Frames carry the packets and little else; JSON a third more for base64.
  EXPECT_LT(link_.LastCall().replyBytes, packets + 2000);
  EXPECT_GT(res->body.size(), packets * 4 / 3);
}

// A table that fails after the answer has begun: both kinds of client get an error naming it,
// never the tables before it as a short answer.
TEST_P(DemoEndToEnd, AFailureAfterTheAnswerBeganReachesTheClientAsAnError) {
  kve::testing::TempFolder sql;
  std::ofstream(sql / "14_SOLICITA.sql") << "SELECT * FROM NO_SUCH_TABLE";
  server::AppServerOptions so;
  so.dbUrl = data_->Url();
  so.sqlFolder = sql.path();
  server::AppServer broken(so);
  broken.Start();
  link_.SetConnected(false);
  link_.SetPort(broken.Port());
  link_.SetConnected(true);
  try {
    Export();
    ADD_FAILURE() << "a short answer was taken for a whole one";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("14_SOLICITA"));
  }
  auto res = PostAsOldClient(broken.Port());
  ASSERT_TRUE(res);
  std::string lista, nr, status;
  std::vector<RemoteArg> args(13, RemoteArg::Value(""));
  args[1] = RemoteArg::ByRef(lista);
  args[9] = RemoteArg::ByRef(nr);
  args[10] = RemoteArg::ByRef(status);
  try {
    rpc::DecodeReply(res->body, 1, args);
    ADD_FAILURE() << "a short answer was taken for a whole one";
  } catch (const rpc::RpcError& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("14_SOLICITA"));
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, DemoEndToEnd, ::testing::ValuesIn(testing_server::Engines()));

// The same statements on the same demo give the same 26 tables on both engines: every row, in
// order, as the screen reads its fields.
TEST(DemoEngines, BothEnginesAnswerTheSameTables) {
  testing_server::ServerDb lite("sqlite"), pg("postgresql");
  if (pg.Skip()) GTEST_SKIP() << "KVE_TEST_PG_URL not set";
  const std::vector<std::string> args = {"0001", "", "2026-11-01", "2026-12-31", "2026-11-15",
                                         "2026-12-10", "2026-11-01", "2026-12-31", "3", "0",
                                         "T", "", "000000000007"};
  std::vector<std::vector<std::string>> answers;
  for (auto* data : {&lite, &pg}) {
    auto db = data->Open();
    demo::DemoOptions o;
    o.today = kToday;
    demo::FillDemoDatabase(*db, o);
    server::SqlFiles sql = server::SqlFiles::BuiltIn();
    server::Answer a = server::RdmExpDados(*db, sql).GetTabelas(args);
    ASSERT_FALSE(a.failed) << std::get<std::string>(a.value.value);
    answers.push_back(std::get<std::vector<std::string>>(a.value.value));
  }
  auto rows = [](const std::string& image) {
    TClientDataSet ds;
    ds.SetData(image);
    std::vector<std::string> out;
    for (ds.First(); !ds.Eof(); ds.Next()) {
      std::string row;
      for (int f = 0; f < ds.FieldCount(); ++f)
        row += ds.FieldDefs()[static_cast<size_t>(f)].name + "=" + ds.Fields(f).AsString() + ";";
      out.push_back(row);
    }
    return out;
  };
  auto slots = exporting::SlotOrder();
  for (int i = 0; i < 26; ++i) {
    auto sqlite = rows(answers[0][i]);
    EXPECT_EQ(sqlite, rows(answers[1][i])) << slots[i]->table;
    if (i == 12 || i == 13) {  // the requests
      EXPECT_GT(sqlite.size(), 10u) << slots[i]->table;
    }
  }
}

}  // namespace
}  // namespace kve
