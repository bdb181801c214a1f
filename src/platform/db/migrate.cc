#include "platform/db/migrate.h"

#include <algorithm>
#include <map>

#include <fmt/format.h>

#include "platform/common/error.h"

namespace kve {
namespace db_internal {

std::vector<MigrationStep> StepsFor(std::string_view dialect, const std::vector<SchemaScript>& scripts) {
  struct Pick {
    const SchemaScript* common = nullptr;
    const SchemaScript* own = nullptr;
  };
  std::map<int, Pick> picks;
  for (const SchemaScript& s : scripts) {
    const std::string_view f = s.file;
    int version = 0;
    size_t i = 0;
    while (i < f.size() && f[i] >= '0' && f[i] <= '9') version = version * 10 + (f[i++] - '0');
    if (i == 0 || i >= f.size() || f[i] != '_' || !f.ends_with(".sql"))
      throw Error(fmt::format("schema script {}: name must be NNNN_name[.dialect].sql", f));
    const std::string_view stem = f.substr(0, f.size() - 4);
    const size_t dot = stem.rfind('.');
    Pick& p = picks[version];
    if (dot == std::string_view::npos) {
      if (p.common) throw Error(fmt::format("schema scripts {} and {} share number {}", p.common->file, f, version));
      p.common = &s;
    } else if (stem.substr(dot + 1) == dialect) {
      if (p.own) throw Error(fmt::format("schema scripts {} and {} share number {}", p.own->file, f, version));
      p.own = &s;
    }
  }
  std::vector<MigrationStep> steps;
  for (const auto& [version, p] : picks) {
    const SchemaScript* s = p.own ? p.own : p.common;
    if (s) steps.push_back(MigrationStep{version, std::string(s->file), s->text});
  }
  return steps;
}

}  // namespace db_internal

int LatestSchemaVersion() {
  int latest = 0;
  for (const auto& s : db_internal::EmbeddedScripts()) {
    int v = 0;
    for (char c : s.file) {
      if (c < '0' || c > '9') break;
      v = v * 10 + (c - '0');
    }
    latest = std::max(latest, v);
  }
  return latest;
}

int AppliedSchemaVersion(Database& db) {
  TClientDataSet found("tables");
  if (db.Dialect() == "postgresql")
    db.Run("SELECT table_name FROM information_schema.tables WHERE table_name = 'kvemigracao' "
           "AND table_schema = ANY (current_schemas(false))", {}, &found);
  else
    db.Run("SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'KVEMIGRACAO'", {}, &found);
  if (found.RecordCount() == 0) return 0;
  TClientDataSet done("KVEMIGRACAO");
  db.Run("SELECT NRVERSAO FROM KVEMIGRACAO", {}, &done);
  int64_t highest = 0;
  for (done.First(); !done.Eof(); done.Next())
    highest = std::max(highest, done.FieldByName("NRVERSAO").AsLargeInt());
  return static_cast<int>(highest);
}

int MigrateDatabase(Database& db) {
  const auto steps = db_internal::StepsFor(db.Dialect(), db_internal::EmbeddedScripts());
  db.ExecuteScript(
      "CREATE TABLE IF NOT EXISTS KVEMIGRACAO (\n"
      "  NRVERSAO    INTEGER      NOT NULL PRIMARY KEY,\n"
      "  NMSCRIPT    VARCHAR(100) NOT NULL,\n"
      "  DTAPLICACAO TIMESTAMP    NOT NULL\n"
      ")");
  TClientDataSet done("KVEMIGRACAO");
  db.Run("SELECT NRVERSAO FROM KVEMIGRACAO", {}, &done);
  std::vector<int64_t> applied;
  for (done.First(); !done.Eof(); done.Next()) applied.push_back(done.FieldByName("NRVERSAO").AsLargeInt());

  int ran = 0;
  for (const auto& step : steps) {
    if (std::find(applied.begin(), applied.end(), step.version) != applied.end()) continue;
    try {
      db.Begin();
      // Another process (the server starting beside the demo loader) may be migrating too:
      // hold the bookkeeping table for the step, and skip a step it finished meanwhile.
      // SQLite's BEGIN IMMEDIATE already takes the database's write lock.
      if (db.Dialect() == "postgresql") db.ExecuteScript("LOCK TABLE KVEMIGRACAO IN SHARE ROW EXCLUSIVE MODE");
      std::vector<SqlParam> version(1);
      version[0].name = "P_NRVERSAO";
      version[0].kind = SqlParam::Kind::Integer;
      version[0].integer = step.version;
      TClientDataSet already;
      db.Run("SELECT NRVERSAO FROM KVEMIGRACAO WHERE NRVERSAO = :P_NRVERSAO", version, &already);
      if (already.RecordCount() > 0) {
        db.Commit();
        continue;
      }
      db.ExecuteScript(step.text);
      std::vector<SqlParam> params(3);
      params[0].name = "P_NRVERSAO";
      params[0].kind = SqlParam::Kind::Integer;
      params[0].integer = step.version;
      params[1].name = "P_NMSCRIPT";
      params[1].kind = SqlParam::Kind::Text;
      params[1].text = step.file;
      params[2].name = "P_DTAPLICACAO";
      params[2].kind = SqlParam::Kind::DateTime;
      params[2].when = TDateTime::Now();
      db.Run("INSERT INTO KVEMIGRACAO (NRVERSAO, NMSCRIPT, DTAPLICACAO) "
             "VALUES (:P_NRVERSAO, :P_NMSCRIPT, :P_DTAPLICACAO)",
             params, nullptr);
      db.Commit();
    } catch (const Error&) {
      try {
        db.Rollback();
      } catch (const Error&) {
        // the first failure is the one worth reporting
      }
      RethrowWithContext(fmt::format("schema step {}", step.file));
    }
    ++ran;
  }
  return ran;
}

}  // namespace kve
