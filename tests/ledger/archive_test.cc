// The ledger's kept copy of an export's files: whole under its id, or, when a write fails as
// on a full disk, a note and nothing kept.
#include "ledger/archive.h"

#include <signal.h>
#include <sys/resource.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

// Writes past `limit` bytes fail for the scope (EFBIG, as a full disk fails them with ENOSPC).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    signal_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit r = old_;
    r.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &r);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, signal_);
  }

 private:
  rlimit old_{};
  sighandler_t signal_;
};

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

  ArchiveWriter copy(dir.path());
  copy.Add("FILIAL.CDS", "branch");
  {
    FileSizeLimit limit(65536);
    copy.Add("PRODUTO.CDS", std::string(100000, 'p'));
  }
  copy.Add("SERIE.CDS", "skipped");
  EXPECT_THAT(copy.Problem(), HasSubstr("keeping a copy of the files: "));
  EXPECT_THAT(copy.Problem(), HasSubstr("PRODUTO.CDS: cannot write: File too large"));
  EXPECT_EQ(copy.Commit(5, "eeepc", "002", 2), "");
  // the earlier copy stays; no staging folder, no temporary
  EXPECT_THAT(Entries(dir / "files"),
              ::testing::ElementsAre("eeepc-002", "eeepc-002/4", "eeepc-002/4/FILIAL.CDS", "eeepc-002/4/PRODUTO.CDS"));
}

}  // namespace
}  // namespace kve::ledger
