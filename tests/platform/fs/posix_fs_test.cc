// Where Windows-form paths land on this host.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>

#include "platform/common/error.h"
#include "platform/fs/file_system.h"
#include "platform/fs/win_path.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

class PosixMapping : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (stdfs::temp_directory_path() / "kve-map-XXXXXX").string();
    root_ = ::mkdtemp(tmpl.data());
    stdfs::create_directories(root_ / "c");
    stdfs::create_directories(root_ / "shares");
    PathMapping m;
    m.drives = {{'c', root_ / "c"}};  // a lower-case letter is taken as its drive
    m.shares = root_ / "shares";
    fs_ = NewPosixFileSystem(m);
  }
  void TearDown() override { stdfs::remove_all(root_); }
  std::string Read(const stdfs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  stdfs::path root_;
  std::unique_ptr<FileSystem> fs_;
};

TEST_F(PosixMapping, DriveAndSharePathsLandUnderTheirConfiguredFolders) {
  fs_->CreateDir("C:\\Palm");
  fs_->WriteFile("C:\\Palm\\a.xml", "drive");
  EXPECT_EQ(Read(root_ / "c" / "Palm" / "a.xml"), "drive");
  stdfs::create_directories(root_ / "shares" / "NOTE-01" / "Orvanta Web");
  fs_->CreateDir("\\\\NOTE-01\\Orvanta Web\\EeePc");
  fs_->WriteFile("\\\\NOTE-01\\Orvanta Web\\EeePc\\x.cds", "share");
  EXPECT_EQ(Read(root_ / "shares" / "NOTE-01" / "Orvanta Web" / "EeePc" / "x.cds"), "share");
  EXPECT_EQ(fs_->HostPath("\\\\NOTE-01\\Orvanta Web\\EeePc\\x.cds"),
            root_ / "shares" / "NOTE-01" / "Orvanta Web" / "EeePc" / "x.cds");
}

TEST_F(PosixMapping, FindsExistingHostNamesWithoutRegardToCase) {
  stdfs::create_directories(root_ / "c" / "palm" / "kve");
  fs_->WriteFile("C:\\PALM\\Kve\\FILIAL.xml", "x");
  EXPECT_TRUE(stdfs::exists(root_ / "c" / "palm" / "kve" / "FILIAL.xml"));
  EXPECT_FALSE(stdfs::exists(root_ / "c" / "PALM"));
}

TEST_F(PosixMapping, AnUnmappedDriveDoesNotExistAndRefusesWrites) {
  EXPECT_FALSE(fs_->DirectoryExists("D:\\Palm"));
  EXPECT_FALSE(fs_->FileExists("D:\\Palm\\a"));
  try {
    fs_->WriteFile("D:\\Palm\\a", "x");
    FAIL();
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "D:\\Palm\\a: drive D: is not mapped to a folder of this host");
  }
}

TEST_F(PosixMapping, ADotDotNeverReachesOutsideTheMappedFolder) {
  stdfs::create_directories(root_ / "secret");
  EXPECT_THROW(fs_->DirectoryExists("C:\\..\\secret"), ValueError);
  EXPECT_THROW(fs_->WriteFile("\\\\h\\s\\..\\..\\..\\secret\\x", "x"), ValueError);
  EXPECT_TRUE(stdfs::is_empty(root_ / "secret"));
}

TEST_F(PosixMapping, AWriteLeavesNoTemporaryFileBehindOnSuccessOrFailure) {
  fs_->CreateDir("C:\\Exp");
  fs_->CreateDir("C:\\Exp\\sub");
  fs_->WriteFile("C:\\Exp\\a.xml", "x");
  EXPECT_THROW(fs_->WriteFile("C:\\Exp\\sub", "a folder is in the way"), IoError);
  std::vector<std::string> names;
  for (const auto& e : stdfs::directory_iterator(root_ / "c" / "Exp")) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.xml", "sub"}));
}

// The host's own paths: names exactly as given (two names differing in case are two files),
// a relative path from the working folder, and errors naming the path as the caller gave it.
TEST_F(PosixMapping, TheHostFileSystemTakesHostPathsAsTheyAre) {
  std::unique_ptr<FileSystem> host = NewHostFileSystem();
  const std::string dir = (root_ / "c").string();
  host->WriteFile(dir + "/ledger.db", "lower");
  host->WriteFile(dir + "/LEDGER.DB", "upper");
  EXPECT_EQ(Read(root_ / "c/ledger.db"), "lower");
  EXPECT_EQ(host->ReadFile(dir + "/LEDGER.DB"), "upper");
  EXPECT_FALSE(host->FileExists(dir + "/Ledger.db"));
  EXPECT_EQ(host->HostPath(dir + "/x/../ledger.db"), root_ / "c/ledger.db");

  const stdfs::path was = stdfs::current_path();
  stdfs::current_path(root_);
  std::string error;
  try {
    EXPECT_EQ(host->ReadFile("c/ledger.db"), "lower");
    host->ReadFile("c/none.db");
  } catch (const IoError& e) {
    error = e.what();
  }
  stdfs::current_path(was);
  EXPECT_EQ(error.rfind("c/none.db: ", 0), 0u) << error;
}

TEST(WinPathParse, SplitsDrivesSharesAndCurrentDriveRoots) {
  WinPath a = ParseWinPath("c:\\Palm\\.\\Kve\\\\Exp\\");
  EXPECT_EQ(a.Text(), "C:\\Palm\\Kve\\Exp");
  WinPath b = ParseWinPath("\\Kve\\Exp", 'E');
  EXPECT_EQ(b.Text(), "E:\\Kve\\Exp");
  WinPath c = ParseWinPath("//NOTE/Orvanta Web/EeePc");
  EXPECT_EQ(c.host, "NOTE");
  EXPECT_EQ(c.share, "Orvanta Web");
  EXPECT_EQ(c.Text(), "\\\\NOTE\\Orvanta Web\\EeePc");
  EXPECT_EQ(ParseWinPath("C:").Text(), "C:\\");
  EXPECT_THROW(ParseWinPath(""), ValueError);
  EXPECT_THROW(ParseWinPath(std::string("C:\\a\nb")), ValueError);
}

TEST(WinPathMask, MatchesStarsAndQuestionMarksWithoutRegardToCase) {
  EXPECT_TRUE(MatchesMask("PRODUTO.XML", "*.xml"));
  EXPECT_FALSE(MatchesMask("PRODUTO.xml.bak", "*.xml"));
  EXPECT_TRUE(MatchesMask("noext", "*.*"));
  EXPECT_TRUE(MatchesMask("_kas.bpl", "_k??.bpl"));
  EXPECT_FALSE(MatchesMask("_kas.bpl", "_k?.bpl"));
  EXPECT_TRUE(MatchesMask("a.b.xml", "*.*.xml"));
}

}  // namespace
}  // namespace kve
