// The ledger's kept copy of an export's files: whole under its id, or, when a write fails as
// on a full disk, a note and nothing kept.
#include "ledger/archive.h"

#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/error_fs.h"
#include "support/temp_folder.h"

namespace kve::ledger {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir)) names.push_back(fs::relative(e.path(), dir).string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ArchiveWriter, KeepsTheCopyWholeOrNotesTheFailureAndKeepsNothing) {
  testing::TempFolder dir;
  {
    ArchiveWriter copy(dir.path());
    copy.Add("FILIAL.CDS", "branch");
    copy.Add("PRODUTO.CDS", std::string(100000, 'p'));
    EXPECT_EQ(copy.Commit(4, "eeepc", "002", 2), "files/eeepc-002/4");
    EXPECT_EQ(copy.Problem(), "");
  }
  EXPECT_THAT(Entries(dir / "files"),
              ::testing::ElementsAre("eeepc-002", "eeepc-002/4", "eeepc-002/4/FILIAL.CDS", "eeepc-002/4/PRODUTO.CDS"));
  EXPECT_EQ(testing::ReadBytes(dir / "files/eeepc-002/4/PRODUTO.CDS"), std::string(100000, 'p'));

  // The disk fills up on the second file.
  std::unique_ptr<FileSystem> host = NewHostFileSystem();
  auto full = std::make_unique<ErrorFileSystem>(*host);
  ErrorFileSystem& disk = *full;
  ArchiveWriter copy(dir.path(), KeptCopy::kIndependent, std::move(full));
  disk.FailWritesAfter(65536);
  copy.Add("FILIAL.CDS", "branch");
  copy.Add("PRODUTO.CDS", std::string(100000, 'p'));
  disk.AllowWrites();
  copy.Add("SERIE.CDS", "skipped");
  EXPECT_THAT(copy.Problem(), HasSubstr("keeping a copy of the files: "));
  EXPECT_THAT(copy.Problem(), HasSubstr("PRODUTO.CDS: cannot write: No space left on device"));
  EXPECT_EQ(disk.BytesWritten(), 6u);
  EXPECT_EQ(copy.Commit(5, "eeepc", "002", 2), "");
  // the earlier copy stays; no staging folder, no temporary
  EXPECT_THAT(Entries(dir / "files"),
              ::testing::ElementsAre("eeepc-002", "eeepc-002/4", "eeepc-002/4/FILIAL.CDS", "eeepc-002/4/PRODUTO.CDS"));
}

// A delivered file rewritten in place by the device's client: the independent copy keeps the
// bytes as delivered; only a linked one (kept for the benchmark) follows the rewrite.
TEST(ArchiveWriter, AnIndependentCopyOfADeliveredFileIgnoresItsRewriting) {
  for (KeptCopy how : {KeptCopy::kIndependent, KeptCopy::kLinked}) {
    testing::TempFolder dir;
    const fs::path delivered = dir / "DADOS.CDS";
    testing::WriteBytes(delivered, "as delivered");
    ArchiveWriter copy(dir / "ledger", how);
    copy.AddDelivered("DADOS.CDS", delivered, "as delivered");
    ASSERT_EQ(copy.Commit(1, "eeepc", "002", 3), "files/eeepc-002/1");
    {
      std::fstream f(delivered, std::ios::in | std::ios::out | std::ios::binary);
      f << "REWRITTEN";
    }
    EXPECT_EQ(testing::ReadBytes(dir / "ledger/files/eeepc-002/1/DADOS.CDS"),
              how == KeptCopy::kIndependent ? "as delivered" : "REWRITTENred");
  }
}

}  // namespace
}  // namespace kve::ledger
