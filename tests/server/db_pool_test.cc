// The server's connection pool: a SQLite connection kept idle gives up its map of the file
// and takes it back when lent again, so a burst of concurrent exports does not leave one map
// per pooled connection in the server's memory.
#include "server/db_pool.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace kve::server {
namespace {

std::string MapSize(Database& db) {
  TClientDataSet r;
  db.Run("PRAGMA mmap_size", {}, &r);
  return r.Fields(0).AsString();
}

TEST(DatabasePool, AnIdleSqliteConnectionGivesUpItsMapAndTakesItBackWhenLent) {
  testing::TempFolder tmp;
  const std::string url = "sqlite:" + (tmp / "pool.db").string();
  Database::Open(url)->ExecuteScript("CREATE TABLE T (A INTEGER); INSERT INTO T VALUES (1);");

  DatabasePool pool(url);
  Database* first = nullptr;
  {
    auto lease = pool.Acquire();
    first = &*lease;
    EXPECT_EQ(MapSize(*lease), "268435456");
    lease->Idle();
    EXPECT_EQ(MapSize(*lease), "0");
    lease->Resume();
  }
  EXPECT_EQ(pool.CurrentUse().idle, 1u);
  auto again = pool.Acquire();
  EXPECT_EQ(&*again, first);  // the kept connection, its map back
  EXPECT_EQ(MapSize(*again), "268435456");
  TClientDataSet rows;
  again->Run("SELECT A FROM T", {}, &rows);
  EXPECT_EQ(rows.RecordCount(), 1);
}

}  // namespace
}  // namespace kve::server
