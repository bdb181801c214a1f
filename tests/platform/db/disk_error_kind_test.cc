// A database whose medium refuses a write raises IoError on every engine and in the failing
// double, so callers tell a lost or full database from a bad statement, which stays Error.

#include <gtest/gtest.h>

#include <functional>

#include "db_fixture.h"
#include "platform/common/error.h"
#include "support/failing_database.h"

namespace kve::testing_db {
namespace {

class DiskErrorKind : public DbTest {};

std::string KindOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const IoError&) {
    return "IoError";
  } catch (const Error&) {
    return "Error";
  }
  return "no error";
}

TEST_P(DiskErrorKind, RefusedWritesAreIoErrorsAndBadStatementsAreNot) {
  db->ExecuteScript("CREATE TABLE T (N INTEGER, S VARCHAR(4000))");
  EXPECT_EQ(KindOf([&] { db->Run("SELECT NOPE FROM T", {}, nullptr); }), "Error");
  FailingDatabase failing(*db);
  failing.FailWhen("INSERT");
  EXPECT_EQ(KindOf([&] { failing.Run("INSERT INTO T (N) VALUES (1)", {}, nullptr); }), "IoError");

  if (GetParam() == "sqlite") {
    // a full disk: the file may not grow past the pages it has
    db->ExecuteScript("PRAGMA max_page_count = " + Select("PRAGMA page_count")->Fields(0).AsString());
    const std::string insert = "INSERT INTO T (N, S) VALUES (1, '" + std::string(3000, 'x') + "')";
    EXPECT_EQ(KindOf([&] {
                for (int i = 0; i < 50; ++i) db->Run(insert, {}, nullptr);
              }),
              "IoError");
    db->ExecuteScript("PRAGMA query_only = 1");
  } else {
    db->ExecuteScript("SET default_transaction_read_only = on");
  }
  // a read-only database
  EXPECT_EQ(KindOf([&] { db->Run("INSERT INTO T (N) VALUES (2)", {}, nullptr); }), "IoError");
  if (GetParam() != "sqlite") db->ExecuteScript("SET default_transaction_read_only = off");
}

INSTANTIATE_TEST_SUITE_P(Engines, DiskErrorKind, ::testing::Values("sqlite", "postgresql"), EngineName);

}  // namespace
}  // namespace kve::testing_db
