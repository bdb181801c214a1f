// The demo kitchen: what the screen and the server rely on finding in it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "demo/demo_data.h"
#include "platform/common/error.h"
#include "support/failing_database.h"
#include "platform/db/migrate.h"
#include "tests/platform/db/db_fixture.h"

namespace kve {
namespace {

using testing_db::DbTest;

const char* kAllTables[] = {"FILIAL",   "PALM",      "OPERADOR",   "NUTRICIO",     "FILIOPER", "PARAM",    "PARASUPRI",
                            "SERIE",    "TIPOOPER",  "JUSTSOLI",   "TIPORETI",     "MARCA",    "TIPOCARD", "SERVICO",
                            "ARVPROD",  "PRODUTO",   "FILIARVPROD", "AGRUPPROD",   "PRODAGRUP", "CLIENTE", "FORNECED",
                            "SERVCLIE", "CARDKVE",   "EFETIVO",    "SOLICITA",     "SOLICOMP", "NUMAF",    "ITEMAF",
                            "PREVRETI", "INVENTRETI", "ITINVENTRETI", "HISTPALM"};

demo::DemoOptions Options() {
  demo::DemoOptions o;
  o.today = TDateTime::FromDate({2026, 12, 7});
  return o;
}

class DemoData : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped()) return;
    MigrateDatabase(*db);
    summary = demo::FillDemoDatabase(*db, Options());
  }

  std::vector<std::string> Column(const std::string& sql, const char* field) {
    auto ds = Select(sql);
    std::vector<std::string> out;
    for (ds->First(); !ds->Eof(); ds->Next()) out.push_back(ds->FieldByName(field).AsString());
    return out;
  }

  demo::DemoSummary summary;
};

bool ValidRegistration(const std::string& digits) {
  // CPF (11 digits) and CNPJ (14 digits) end in two mod-11 check digits.
  const bool cpf = digits.size() == 11;
  const size_t body = digits.size() - 2;
  for (size_t k = 0; k < 2; ++k) {
    int sum = 0;
    for (size_t i = 0; i < body + k; ++i) {
      const int weight = cpf ? static_cast<int>(body + k + 1 - i) : static_cast<int>((body + k - i - 1) % 8 + 2);
      sum += (digits[i] - '0') * weight;
    }
    const int r = sum % 11;
    if (digits[body + k] - '0' != (r < 2 ? 0 : 11 - r)) return false;
  }
  return true;
}

TEST_P(DemoData, EveryTableReadsBackWithinItsDeclaredWidths) {
  // SQLite does not enforce VARCHAR(n); reading through the typed layer does.
  for (const char* t : kAllTables) {
    std::unique_ptr<TClientDataSet> rows;
    ASSERT_NO_THROW(rows = Select(std::string("SELECT * FROM ") + t)) << t;
    EXPECT_GT(rows->RecordCount(), 0) << t;
    EXPECT_EQ(summary[t], rows->RecordCount()) << t;
  }
}

TEST_P(DemoData, TheCentralHasItsBranchesDevicesAndNutritionist) {
  auto central = Select("SELECT IDFILCENTKVE FROM FILIAL WHERE CDFILIAL = '0001'");
  EXPECT_EQ(central->FieldByName("IDFILCENTKVE").AsString(), "S");
  const auto branches = Column("SELECT CDFILIAL FROM FILIAL WHERE IDFILCENTKVE = 'N' AND CDFILCENTKVE = '0001' "
                               "ORDER BY CDFILIAL", "CDFILIAL");
  ASSERT_EQ(branches.size(), 12u);
  EXPECT_EQ(branches.front(), "0002");
  EXPECT_EQ(branches.back(), "0013");

  EXPECT_EQ(Column("SELECT NMPALM FROM PALM WHERE CDFILIAL = '0001' AND CDPALM = '001' AND IDTPPERIFEXPKVE = '1'",
                   "NMPALM"),
            std::vector<std::string>{"Palm 01"});
  EXPECT_EQ(Column("SELECT NMPALM FROM PALM WHERE CDFILIAL = '0001' AND CDPALM = '002' AND IDTPPERIFEXPKVE = '2'",
                   "NMPALM"),
            std::vector<std::string>{"NOTE-KITCHEN-01"});

  const auto served = Column(
      "SELECT FI.CDFILIAL FROM FILIAL FI, FILIOPER FO WHERE FI.IDFILCENTKVE = 'N' AND FI.CDFILCENTKVE = '0001' "
      "AND FO.CDOPERADOR = '000000000007' AND FI.CDFILIAL = FO.CDFILIAL",
      "CDFILIAL");
  EXPECT_FALSE(served.empty());
  EXPECT_LT(served.size(), 12u) << "the nutritionist serves only some of the branches";
  EXPECT_TRUE(Column("SELECT CDOPERADOR FROM OPERADOR WHERE CDSENHAOPE IS NULL", "CDOPERADOR").empty());
}

TEST_P(DemoData, ClientsAndSuppliersOfBothPersonTypesHaveValidNumbers) {
  for (const auto& [sql, code, number] :
       {std::tuple{"SELECT CDCLIENTE, NRINSJURCL FROM CLIENTE", "CDCLIENTE", "NRINSJURCL"},
        std::tuple{"SELECT CDFORNECED, NRINSJURFO FROM FORNECED", "CDFORNECED", "NRINSJURFO"}}) {
    auto rows = Select(sql);
    int people = 0, companies = 0;
    for (rows->First(); !rows->Eof(); rows->Next()) {
      const std::string c = rows->FieldByName(code).AsString();
      const std::string n = rows->FieldByName(number).AsString();
      ASSERT_TRUE((c[0] == 'F' && n.size() == 11) || (c[0] == 'J' && n.size() == 14)) << c;
      EXPECT_EQ(c.substr(1), n);
      EXPECT_TRUE(ValidRegistration(n)) << n;
      (c[0] == 'F' ? people : companies)++;
    }
    EXPECT_GT(people, 0) << sql;
    EXPECT_GT(companies, 0) << sql;
  }
}

TEST_P(DemoData, OneBranchThatNeedsAnAuthorisationHasNone) {
  const auto without = Column(
      "SELECT F.CDFILIAL FROM FILIAL F WHERE F.CDFILCENTKVE = '0001' AND F.IDBLOQNFSAF = 'S' "
      "AND NOT EXISTS (SELECT 1 FROM NUMAF A WHERE A.CDFILDEST = F.CDFILIAL)",
      "CDFILIAL");
  EXPECT_EQ(without, std::vector<std::string>{demo::kDemoBranchWithoutAf});
}

TEST_P(DemoData, ProductsSitInTheTreeAndSomeAreInactive) {
  auto rows = Select("SELECT CDARVPROD, CDPSQPROD, IDATIVOPROD FROM PRODUTO");
  int inactive = 0;
  for (rows->First(); !rows->Eof(); rows->Next()) {
    const std::string arv = rows->FieldByName("CDARVPROD").AsString();
    ASSERT_EQ(arv.size(), 8u);
    EXPECT_EQ(rows->FieldByName("CDPSQPROD").AsString(), arv.substr(0, 2) + "." + arv.substr(2, 2) + "." + arv.substr(4));
    inactive += rows->FieldByName("IDATIVOPROD").AsString() == "N";
  }
  EXPECT_GT(inactive, 0);
  EXPECT_LT(inactive, rows->RecordCount() / 4);
  EXPECT_TRUE(Column("SELECT P.CDPRODUTO FROM PRODUTO P WHERE NOT EXISTS "
                     "(SELECT 1 FROM ARVPROD A WHERE A.CDARVPROD = SUBSTR(P.CDARVPROD, 1, 4))",
                     "CDPRODUTO")
                  .empty())
      << "every product hangs under a subgroup";
}

TEST_P(DemoData, DatesFallInThePreviousAndCurrentMonth) {
  for (const char* sql : {"SELECT MIN(DTPROGENTR) AS LO, MAX(DTPROGENTR) AS HI FROM SOLICOMP",
                          "SELECT MIN(DTPENTAF) AS LO, MAX(DTPENTAF) AS HI FROM NUMAF",
                          "SELECT MIN(DTEFETIVO) AS LO, MAX(DTEFETIVO) AS HI FROM EFETIVO",
                          "SELECT MIN(DTPREVRETI) AS LO, MAX(DTPREVRETI) AS HI FROM PREVRETI"}) {
    auto r = Select(sql);
    // MIN over a column is an expression: SQLite gives its text, PostgreSQL a timestamp.
    const std::string lo = r->FieldByName("LO").AsString(), hi = r->FieldByName("HI").AsString();
    EXPECT_THAT(lo, ::testing::AnyOf(::testing::StartsWith("2026-11"), ::testing::HasSubstr("/11/2026"))) << sql;
    EXPECT_THAT(hi, ::testing::AnyOf(::testing::StartsWith("2026-12"), ::testing::HasSubstr("/12/2026"))) << sql;
  }
}

TEST_P(DemoData, ThePalmWhoseExportNeverCameBackEndsWithAnExport) {
  auto last = Select("SELECT CDPALM, IDHISTPALM, IDERROPALM FROM HISTPALM H WHERE NRSEQHISTPALM = "
                     "(SELECT MAX(NRSEQHISTPALM) FROM HISTPALM WHERE CDFILIAL = H.CDFILIAL AND CDPALM = H.CDPALM) "
                     "ORDER BY CDPALM");
  std::vector<std::string> marks;
  for (last->First(); !last->Eof(); last->Next())
    marks.push_back(last->FieldByName("CDPALM").AsString() + ":" + last->FieldByName("IDHISTPALM").AsString() +
                    last->FieldByName("IDERROPALM").AsString());
  EXPECT_EQ(marks, (std::vector<std::string>{"001:10", "002:00", "003:00"}));
}

TEST_P(DemoData, AFilledDatabaseIsRefusedUnlessReplacedAndTheSeedRepeatsTheRows) {
  EXPECT_THROW(demo::FillDemoDatabase(*db, Options()), Error);
  const auto before = Column("SELECT CDCLIENTE FROM CLIENTE ORDER BY CDCLIENTE", "CDCLIENTE");
  auto o = Options();
  o.replace = true;
  EXPECT_EQ(demo::FillDemoDatabase(*db, o), summary);
  EXPECT_EQ(Column("SELECT CDCLIENTE FROM CLIENTE ORDER BY CDCLIENTE", "CDCLIENTE"), before);
}

class DemoFailure : public DbTest {};

TEST_P(DemoFailure, AFailureHalfWayLeavesNoRowsBehind) {
  MigrateDatabase(*db);
  FailingDatabase failing(*db);
  failing.FailAfter(60);  // well into the products
  EXPECT_THROW(demo::FillDemoDatabase(failing, Options()), IoError);
  for (const char* t : {"FILIAL", "PALM", "PRODUTO"})
    EXPECT_EQ(Select(std::string("SELECT * FROM ") + t)->RecordCount(), 0) << t;
  EXPECT_NO_THROW(demo::FillDemoDatabase(*db, Options())) << "the database is usable afterwards";
}

TEST_P(DemoFailure, AMigrationCutShortResumesWhereItStopped) {
  FailingDatabase failing(*db);
  failing.FailWhen("CREATE TABLE IF NOT EXISTS ARVPROD");  // step 2 fails
  try {
    MigrateDatabase(failing);
    FAIL() << "the migration did not fail";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("0002_server.sql"));
  }
  EXPECT_EQ(Select("SELECT NRVERSAO FROM KVEMIGRACAO")->RecordCount(), 1);
  EXPECT_THROW(Select("SELECT * FROM PRODUTO"), Error) << "the failed step left a table behind";
  EXPECT_EQ(MigrateDatabase(*db), LatestSchemaVersion() - 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, DemoFailure, ::testing::Values("sqlite", "postgresql"), testing_db::EngineName);

INSTANTIATE_TEST_SUITE_P(Engines, DemoData, ::testing::Values("sqlite", "postgresql"), testing_db::EngineName);

TEST(DemoScale, OutOfRangeScalesAreRefusedBeforeWriting) {
  auto db = Database::Open("sqlite::memory:");
  MigrateDatabase(*db);
  auto o = Options();
  o.scale = 0;
  EXPECT_THROW(demo::FillDemoDatabase(*db, o), ValueError);
}

}  // namespace
}  // namespace kve
