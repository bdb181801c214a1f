#include <gtest/gtest.h>

#include <thread>

#include "record/hashing_fs.h"
#include "ledger/ledger.h"
#include "support/temp_folder.h"

namespace kve::record {
namespace {

// A hash worked out as a file was written follows it through a rename, and is never given for
// a file changed since by anyone else, even to the same size, nor for one gone.
TEST(HashingFileSystem, AHashIsGivenOnlyForTheFileAsItWasWritten) {
  testing::TempFolder tmp;
  PathMapping m;
  m.drives = {{'C', tmp.path()}};
  auto posix = NewPosixFileSystem(m);
  HashingFileSystem fs(*posix);
  const std::string bytes(100000, 'a');
  fs.WriteFile("C:\\~A.CDS.tmp", bytes);
  fs.RenameFile("C:\\~A.CDS.tmp", "C:\\A.CDS");
  fs.WriteFile("C:\\B.CDS", bytes);
  fs.WriteFile("C:\\C.CDS", bytes);
  EXPECT_EQ(fs.HashOf(tmp / "A.CDS", bytes.size()), ledger::Sha256Hex(bytes));
  EXPECT_EQ(fs.HashOf(tmp / "~A.CDS.tmp", bytes.size()), std::nullopt);
  EXPECT_EQ(fs.HashOf(tmp / "A.CDS", bytes.size() + 1), std::nullopt);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  testing::WriteBytes(tmp / "B.CDS", std::string(bytes.size(), 'b'));
  EXPECT_EQ(fs.HashOf(tmp / "B.CDS", bytes.size()), std::nullopt);
  fs.DeleteFile("C:\\C.CDS");
  testing::WriteBytes(tmp / "C.CDS", bytes);
  EXPECT_EQ(fs.HashOf(tmp / "C.CDS", bytes.size()), std::nullopt);
}

}  // namespace
}  // namespace kve::record
