#include "platform/fs/leftovers.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/fs/file_system.h"
#include "support/temp_folder.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

// A process that has ended, and been reaped, so its number names no one now.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST(Leftovers, OnlyTemporariesOfEndedRunsAreRemoved) {
  testing::TempFolder tmp;
  stdfs::create_directories(tmp / "Exp");
  auto fs = NewPosixFileSystem(PathMapping{{{'C', tmp.path()}}, {}, 'C'});
  const std::string ended = std::to_string(EndedProcess()), mine = std::to_string(::getpid());
  const std::vector<std::string> kept = {
      "PRODUTO.xml",                              // a file of the export
      ".PRODUTO.xml.tmp-" + mine + "-3",          // a live run's copy in progress
      ".notes",                                   // someone's hidden file
      "PRODUTO.xml.tmp-" + ended + "-1",          // not a temporary's name: no leading dot
      ".PRODUTO.xml.tmp-" + ended + "-x",         // nor this
  };
  const std::vector<std::string> removed = {".PRODUTO.xml.tmp-" + ended + "-0",
                                            ".~EXPITEM.CDS.kve-staged.tmp-" + ended + "-12"};
  for (const auto& names : {kept, removed})
    for (const std::string& n : names) testing::WriteBytes(tmp / "Exp" / n, "x");

  EXPECT_EQ(RemoveLeftoversOfEndedRuns(*fs, "C:\\Exp"), removed.size());
  for (const std::string& n : kept) EXPECT_TRUE(stdfs::exists(tmp / "Exp" / n)) << n;
  for (const std::string& n : removed) EXPECT_FALSE(stdfs::exists(tmp / "Exp" / n)) << n;
  EXPECT_EQ(RemoveLeftoversOfEndedRuns(*fs, "C:\\Missing"), 0u);
}

}  // namespace
}  // namespace kve
