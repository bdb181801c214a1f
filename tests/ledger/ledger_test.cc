// The ledger's table as the export runs see it: an entry whole or not at all when the database
// fails half way, numbers that never come back, and kept files held to their recorded hashes.
#include "ledger/ledger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "platform/db/database.h"
#include "support/failing_database.h"
#include "support/temp_folder.h"

namespace kve::ledger {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

LedgerEntry Entry(std::string device) {
  LedgerEntry e;
  e.at = "2026-12-07T10:15:02Z";
  e.target = "eeepc";
  e.device = std::move(device);
  e.outcome = "exported";
  e.files = {{"FILIAL.CDS", 3, 6, Sha256Hex("branch")}};
  return e;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

class LedgerOnDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "ledger");
    base_ = Database::Open("sqlite:" + (dir_ / "ledger/ledger.db").string());
    failing_ = std::make_unique<FailingDatabase>(*base_);
  }
  testing::TempFolder dir_;
  std::unique_ptr<Database> base_;
  std::unique_ptr<FailingDatabase> failing_;
};

// The row and the name of its copy go in one transaction: a failure at either step leaves no
// entry, names the ledger file, and the next entry is appended as if nothing had happened.
TEST_F(LedgerOnDatabase, AFailedAppendLeavesNoEntryAndNamesTheLedger) {
  Ledger ledger(dir_.path(), *failing_);
  for (const char* step : {"INSERT INTO export_ledger", "UPDATE export_ledger"}) {
    SCOPED_TRACE(step);
    failing_->FailWhen(step);
    LedgerEntry e = Entry("002");
    const std::string error =
        ErrorOf([&] { ledger.Append(e, [](LedgerEntry& placed) { placed.archive = "files/eeepc-002/1"; }); });
    EXPECT_THAT(error, HasSubstr((dir_ / "ledger/ledger.db").string() + ": write: "));
    EXPECT_THAT(error, HasSubstr("disk I/O error (injected)"));
    EXPECT_TRUE(ledger.List().empty());
  }
  failing_->FailWhen("");
  LedgerEntry e = Entry("002");
  EXPECT_GE(ledger.Append(e), 1);
  ASSERT_EQ(ledger.List("002").size(), 1u);
  EXPECT_EQ(ledger.List("002")[0].files[0].sha256, Sha256Hex("branch"));
  EXPECT_TRUE(ledger.List("003").empty());
}

TEST_F(LedgerOnDatabase, ANewNumberIsAboveEveryKeptFolder) {
  struct Case {
    std::vector<std::string> folders;  // under ledger/files
    int64_t next;
  };
  const std::vector<Case> cases = {
      {{}, 1},
      {{"eeepc-002/7"}, 8},
      {{"palm-001/3", "eeepc-002/12", "eeepc-002/not-a-number"}, 13},
      {{".staging-1-0-old-99", "eeepc-002/12"}, 13},  // a copy on its way out is no kept folder
  };
  for (const Case& c : cases) {
    testing::TempFolder dir;
    for (const std::string& f : c.folders) fs::create_directories(dir / ("ledger/files/" + f));
    Ledger ledger(dir.path());
    LedgerEntry e = Entry("002");
    EXPECT_EQ(ledger.Append(e), c.next) << ::testing::PrintToString(c.folders);
    LedgerEntry again = Entry("002");
    EXPECT_EQ(ledger.Append(again), c.next + 1);
  }
}

TEST_F(LedgerOnDatabase, KeptFilesAreHeldToTheirRecordedHashes) {
  Ledger ledger(dir_.path(), *failing_);
  LedgerEntry e = Entry("002");
  const int64_t id = ledger.Append(e, [](LedgerEntry& placed) { placed.archive = "files/eeepc-002/1"; });
  const fs::path kept = dir_ / "ledger/files/eeepc-002/1";
  EXPECT_THAT(ErrorOf([&] { ledger.CheckedKeptFiles(id); }), HasSubstr("are no longer kept"));
  fs::create_directories(kept);
  EXPECT_THAT(ErrorOf([&] { ledger.CheckedKeptFiles(id); }), HasSubstr((kept / "FILIAL.CDS").string()));
  testing::WriteBytes(kept / "FILIAL.CDS", "branch");
  EXPECT_EQ(ledger.CheckedKeptFiles(id), kept);
  testing::WriteBytes(kept / "FILIAL.CDS", "Branch");
  EXPECT_EQ(ErrorOf([&] { ledger.CheckedKeptFiles(id); }),
            (kept / "FILIAL.CDS").string() +
                ": the kept copy no longer holds what export 1 delivered (its SHA-256 differs from the ledger's)");
}

}  // namespace
}  // namespace kve::ledger
