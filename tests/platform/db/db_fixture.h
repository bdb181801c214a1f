#pragma once
// One contract, every engine: each test gets a database of its own, a fresh SQLite file, or
// on PostgreSQL (when KVE_TEST_PG_URL names a server) a fresh schema on the search path,
// dropped afterwards, so that runs never see each other's tables.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/db/database.h"
#include "platform/db/sql_values.h"

namespace kve::testing_db {

inline std::string UniqueName(const char* prefix) {
  static std::atomic<int> serial{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string n = std::string(prefix) + std::to_string(getpid()) + "_" + std::to_string(++serial) + "_";
  for (char c : std::string(info ? info->name() : "x"))
    n += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
  return n.substr(0, 60);
}

class DbTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "sqlite") {
      file_ = std::filesystem::temp_directory_path() / (UniqueName("kve_db_") + ".db");
      url_ = "sqlite:" + file_.string();
    } else {
      const char* pg = std::getenv("KVE_TEST_PG_URL");
      if (pg == nullptr || *pg == '\0') GTEST_SKIP() << "KVE_TEST_PG_URL not set";
      url_ = pg;
      schema_ = UniqueName("t");
    }
    db = Database::Open(url_);
    if (!schema_.empty()) db->ExecuteScript("CREATE SCHEMA " + schema_ + "; SET search_path TO " + schema_);
  }

  void TearDown() override {
    if (db && !schema_.empty()) {
      db->Rollback();
      db->ExecuteScript("SET search_path TO public; DROP SCHEMA " + schema_ + " CASCADE");
    }
    db.reset();
    if (!file_.empty()) {
      std::error_code ec;
      for (const char* ext : {"", "-wal", "-shm", "-journal"})
        std::filesystem::remove(file_.string() + ext, ec);
    }
  }

  // A second connection to the same database (same schema on PostgreSQL).
  std::unique_ptr<Database> Reopen() {
    auto other = Database::Open(url_);
    if (!schema_.empty()) other->ExecuteScript("SET search_path TO " + schema_);
    return other;
  }

  static SqlParam Text(std::string name, std::string v) { return TextParam(std::move(name), std::move(v)); }

  // Runs a query and returns its rows.
  std::unique_ptr<TClientDataSet> Select(const std::string& sql, const std::vector<SqlParam>& params = {}) {
    auto ds = std::make_unique<TClientDataSet>("result");
    db->Run(sql, params, ds.get());
    return ds;
  }

  std::unique_ptr<Database> db;
  std::string url_;

 private:
  std::filesystem::path file_;
  std::string schema_;
};

inline std::string EngineName(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

}  // namespace kve::testing_db
