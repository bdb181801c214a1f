#include <gtest/gtest.h>

#include <thread>

#include "record/hashing_fs.h"
#include "ledger/ledger.h"
#include "support/temp_folder.h"

namespace kve::record {
namespace {

// What was taken of a file as it was written follows it through a rename, and is never given
// for a file changed since by anyone else, even to the same size, nor for one gone. A file on
// this host keeps no bytes: the ledger clones it from the disk.
TEST(HashingFileSystem, AHashIsGivenOnlyForTheFileAsItWasWritten) {
  testing::TempFolder tmp;
  PathMapping m;
  m.drives = {{'C', tmp.path()}};
  auto posix = NewPosixFileSystem(m);
  HashingFileSystem fs(*posix);
  const std::string bytes(100000, 'a');
  auto recalled = [&](const std::string& path, uint64_t size) -> const WrittenFile* {
    const auto time = fs.FileTime(path);
    return time ? fs.Recall(path, size, *time) : nullptr;
  };
  fs.WriteFile("C:\\~A.CDS.tmp", bytes);
  fs.RenameFile("C:\\~A.CDS.tmp", "C:\\A.CDS");
  fs.WriteFile("C:\\B.CDS", bytes);
  fs.WriteFile("C:\\C.CDS", bytes);
  const WrittenFile* a = recalled("C:\\a.cds", bytes.size());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->sha256, ledger::Sha256Hex(bytes));
  EXPECT_FALSE(a->bytes);
  EXPECT_EQ(recalled("C:\\~A.CDS.tmp", bytes.size()), nullptr);
  EXPECT_EQ(recalled("C:\\A.CDS", bytes.size() + 1), nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  testing::WriteBytes(tmp / "B.CDS", std::string(bytes.size(), 'b'));
  EXPECT_EQ(recalled("C:\\B.CDS", bytes.size()), nullptr);
  fs.DeleteFile("C:\\C.CDS");
  testing::WriteBytes(tmp / "C.CDS", bytes);
  EXPECT_EQ(recalled("C:\\C.CDS", bytes.size()), nullptr);
}

}  // namespace
}  // namespace kve::record
