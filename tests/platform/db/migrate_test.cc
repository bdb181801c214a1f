// The schema migration: every table there after one run, nothing changed by a second.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "platform/db/migrate.h"
#include "tests/platform/db/db_fixture.h"

namespace kve {
namespace {

using testing_db::DbTest;

class Migration : public DbTest {};

const char* kTables[] = {"FILIAL", "PALM", "OPERADOR", "NUTRICIO", "FILIOPER", "ARVPROD", "PRODUTO",
                         "FILIARVPROD", "AGRUPPROD", "PRODAGRUP", "CLIENTE", "FORNECED", "MARCA",
                         "TIPOCARD", "SERVICO", "SERVCLIE", "CARDKVE", "EFETIVO", "PARAM", "PARASUPRI",
                         "SERIE", "TIPOOPER", "SOLICITA", "SOLICOMP", "JUSTSOLI", "NUMAF", "ITEMAF",
                         "TIPORETI", "PREVRETI", "INVENTRETI", "ITINVENTRETI", "HISTPALM"};

TEST_P(Migration, CreatesEveryTableAndIsRerunnable) {
  const int first = MigrateDatabase(*db);
  EXPECT_EQ(first, LatestSchemaVersion());
  for (const char* t : kTables) EXPECT_NO_THROW(Select(std::string("SELECT * FROM ") + t)) << t;

  db->ExecuteScript("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'Central')");
  EXPECT_EQ(MigrateDatabase(*db), 0);
  auto other = Reopen();
  EXPECT_EQ(MigrateDatabase(*other), 0) << "a second connection finds the schema current";
  EXPECT_EQ(Select("SELECT CDFILIAL FROM FILIAL")->RecordCount(), 1) << "rows survive a second run";

  auto versions = Select("SELECT NRVERSAO, NMSCRIPT FROM KVEMIGRACAO ORDER BY NRVERSAO");
  ASSERT_EQ(versions->RecordCount(), LatestSchemaVersion());
  versions->First();
  EXPECT_EQ(versions->FieldByName("NMSCRIPT").AsString(), "0001_host.sql");
}

TEST_P(Migration, HistoryRowsGetIncreasingKeysFromTheEngine) {
  MigrateDatabase(*db);
  for (const char* err : {"0", "1"}) {
    db->Run("INSERT INTO HISTPALM (CDFILIAL, CDPALM, DTHISTPALM, IDHISTPALM, IDERROPALM)\n"
            "VALUES ('0001', '001', '2026-12-07 10:00:00', '0', :P_ERRO)",
            {Text("P_ERRO", err)}, nullptr);
  }
  auto rows = Select("SELECT NRSEQHISTPALM, IDERROPALM FROM HISTPALM ORDER BY NRSEQHISTPALM DESC");
  ASSERT_EQ(rows->RecordCount(), 2);
  EXPECT_EQ(rows->FieldByName("IDERROPALM").AsString(), "1") << "the latest row comes first";
}

INSTANTIATE_TEST_SUITE_P(Engines, Migration, ::testing::Values("sqlite", "postgresql"), testing_db::EngineName);

TEST(MigrationSteps, ADialectScriptReplacesTheCommonOneOfItsNumber) {
  const std::vector<db_internal::SchemaScript> scripts = {
      {"0001_a.sql", "A"}, {"0002_b.sql", "B"}, {"0002_b.sqlite.sql", "B-lite"}, {"0003_c.postgresql.sql", "C-pg"}};
  const auto lite = db_internal::StepsFor("sqlite", scripts);
  ASSERT_EQ(lite.size(), 2u);
  EXPECT_EQ(lite[1].text, "B-lite");
  const auto pg = db_internal::StepsFor("postgresql", scripts);
  ASSERT_EQ(pg.size(), 3u);
  EXPECT_EQ(pg[1].text, "B");
  EXPECT_EQ(pg[2].version, 3);
  EXPECT_THROW(db_internal::StepsFor("sqlite", {{"x.sql", ""}}), Error);
  EXPECT_THROW(db_internal::StepsFor("sqlite", {{"0001_a.sql", ""}, {"0001_b.sql", ""}}), Error);
}

}  // namespace
}  // namespace kve
