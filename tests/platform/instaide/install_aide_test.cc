#include "platform/instaide/install_aide.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "platform/common/cp1252.h"
#include "platform/fs/file_system.h"
#include "support/temp_folder.h"
#include "support/mem_fs.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// A queue root and a drive C in one temporary folder.
class FolderQueue : public ::testing::Test {
 protected:
  FolderQueue() {
    stdfs::create_directories(tmp / "c" / "Exp");
    stdfs::create_directories(tmp / "root");
    files = NewPosixFileSystem(PathMapping{{{'C', tmp / "c"}}, {}, 'C'});
    aide = NewFolderInstallAide(tmp / "root", *files);
  }
  void AddUser(const std::string& name) { stdfs::create_directories(tmp / "root" / name / "Install"); }
  stdfs::path Install(const std::string& user) const { return tmp / "root" / user / "Install"; }
  std::vector<std::string> Queued(const std::string& user) const {
    std::vector<std::string> names;
    for (const auto& e : stdfs::directory_iterator(Install(user))) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Name(unsigned int index) {
    char buf[kHotSyncNameBuffer];
    std::int16_t size = sizeof buf;
    aide->PltGetUser(index, buf, &size);
    return buf;
  }

  TempFolder tmp;
  std::unique_ptr<FileSystem> files;
  std::unique_ptr<InstallAide> aide;
};

TEST_F(FolderQueue, UsersAreTheSafeFoldersOfTheRootInByteOrder) {
  for (const char* u : {"palm 01", "PALM 01", "Zé", "B"}) AddUser(u);
  stdfs::create_directories(tmp / "root" / "bell\x07");  // a control character: no user
  WriteBytes(tmp / "root" / "notes.txt", "a file is no user");
  ASSERT_EQ(aide->PltGetUserCount(), 4);
  EXPECT_EQ((std::vector<std::string>{Name(0), Name(1), Name(2), Name(3)}),
            (std::vector<std::string>{"B", "PALM 01", "Zé", "palm 01"}));
  EXPECT_EQ(Name(4), "");

  stdfs::remove_all(tmp / "root");
  EXPECT_EQ(aide->PltGetUserCount(), 0);  // no root yet: nobody
}

TEST_F(FolderQueue, PltGetUserNeverWritesPastTheSizeItIsGiven) {
  const std::string longName(40, 'N');
  AddUser(longName);
  AddUser("ABC");  // index 0
  for (unsigned int index : {0u, 1u}) {
    const std::string& full = index == 0 ? std::string("ABC") : longName;
    for (int given = -1; given <= 40; ++given) {
      SCOPED_TRACE(std::to_string(index) + " size " + std::to_string(given));
      char buf[64];
      std::memset(buf, '#', sizeof buf);
      std::int16_t size = static_cast<std::int16_t>(given);
      aide->PltGetUser(index, buf, &size);
      const int room = std::max(given, 0);
      for (int i = room; i < 64; ++i) ASSERT_EQ(buf[i], '#') << "byte " << i;
      if (room > 0) {
        const size_t expect = std::min<size_t>({full.size(), static_cast<size_t>(room - 1), 31});
        EXPECT_EQ(std::string(buf), full.substr(0, expect));
      }
      EXPECT_EQ(size, static_cast<std::int16_t>(std::min<size_t>(full.size(), 31) + 1));
    }
  }
}

TEST_F(FolderQueue, NamesAreCutAtThirtyOneCharactersAndNeverInsideOne) {
  const std::string accented = "COZINHA DE SÃO JOÃO DO NORTE 01";  // 31 characters, 33 bytes
  AddUser(accented);
  AddUser(accented + "Ú");
  EXPECT_EQ(Name(0), accented);
  EXPECT_EQ(Name(1), accented);
  for (std::int16_t given = 1; given <= 34; ++given) {
    char buf[kHotSyncNameBuffer];
    std::int16_t size = given;
    aide->PltGetUser(0, buf, &size);
    const std::string got = buf;
    EXPECT_TRUE(IsValidUtf8(got)) << given;
    EXPECT_LT(got.size(), static_cast<size_t>(given));
    EXPECT_EQ(accented.rfind(got, 0), 0u) << given;
    EXPECT_EQ(size, 34);
  }
}

TEST_F(FolderQueue, QueuingCopiesUnderTheFilesOwnNameAndRemovingDeletesIt) {
  AddUser("PALM 01");
  WriteBytes(tmp / "c" / "Exp" / "FILIAL.pdb", "first");
  EXPECT_EQ(aide->PltInstallFile("PALM 01", "C:\\Exp\\FILIAL.pdb"), kPltOk);
  WriteBytes(tmp / "c" / "Exp" / "FILIAL.pdb", "second, longer");
  EXPECT_EQ(aide->PltInstallFile("PALM 01", "c:/exp/filial.PDB"), kPltOk);  // found as Windows does
  EXPECT_EQ(Queued("PALM 01"), (std::vector<std::string>{"FILIAL.pdb"}));  // no temporary left
  EXPECT_EQ(ReadBytes(Install("PALM 01") / "FILIAL.pdb"), "second, longer");

  EXPECT_EQ(aide->PltRemoveInstallFile("PALM 01", "D:\\Elsewhere\\filial.PDB"), kPltOk);
  EXPECT_TRUE(Queued("PALM 01").empty());
  EXPECT_EQ(aide->PltRemoveInstallFile("PALM 01", "FILIAL.pdb"), kPltOk);  // not queued: harmless
}

TEST_F(FolderQueue, AMissingInstallFolderIsMadeForAnExistingUser) {
  stdfs::create_directories(tmp / "root" / "PALM 02");
  WriteBytes(tmp / "c" / "Exp" / "A.pdb", "a");
  EXPECT_EQ(aide->PltInstallFile("PALM 02", "C:\\Exp\\A.pdb"), kPltOk);
  EXPECT_EQ(Queued("PALM 02"), (std::vector<std::string>{"A.pdb"}));
}

// The unfinished copy of a killed run goes at the next queuing; a live run's stays.
TEST_F(FolderQueue, QueuingRemovesTheCopiesOfKilledRuns) {
  AddUser("PALM 01");
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string killed = ".B.pdb.tmp-" + std::to_string(child) + "-0";
  const std::string live = ".B.pdb.tmp-" + std::to_string(::getpid()) + "-9";
  WriteBytes(Install("PALM 01") / killed, "part");
  WriteBytes(Install("PALM 01") / live, "part");
  WriteBytes(tmp / "c" / "Exp" / "A.pdb", "a");
  EXPECT_EQ(aide->PltInstallFile("PALM 01", "C:\\Exp\\A.pdb"), kPltOk);
  EXPECT_EQ(Queued("PALM 01"), (std::vector<std::string>{live, "A.pdb"}));
}

// An export replaces the earlier one only at its commit: a process killed after staging
// leaves the earlier entries whole and its staged copies under names a HotSync never takes,
// which the next queue change removes. A discarded staging changes nothing either.
TEST_F(FolderQueue, StagedEntriesReplaceTheQueueOnlyAtTheCommit) {
  AddUser("PALM 01");
  WriteBytes(Install("PALM 01") / "a.pdb", "old a");  // another letter case: the same entry
  WriteBytes(Install("PALM 01") / "B.pdb", "old b");
  WriteBytes(tmp / "c" / "Exp" / "A.pdb", "new a, longer");
  WriteBytes(tmp / "c" / "Exp" / "B.pdb", "new b");
  auto stageBoth = [&](InstallAide& a) {
    std::uint64_t bytes = 0;
    EXPECT_EQ(a.PltStageInstallFile("PALM 01", "C:\\Exp\\A.pdb", &bytes), kPltOk);
    EXPECT_EQ(bytes, 13u);
    EXPECT_EQ(a.PltStageInstallFile("PALM 01", "C:\\Exp\\B.pdb", &bytes), kPltOk);
  };
  auto installable = [&] {
    std::vector<std::string> names;
    for (const std::string& n : Queued("PALM 01"))
      if (n[0] != '.') names.push_back(n + "=" + ReadBytes(Install("PALM 01") / n));
    return names;
  };
  const std::vector<std::string> earlier{"B.pdb=old b", "a.pdb=old a"};

  const pid_t child = ::fork();
  if (child == 0) {
    stageBoth(*NewFolderInstallAide(tmp / "root", *files));
    ::raise(SIGKILL);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(installable(), earlier);
  EXPECT_EQ(Queued("PALM 01").size(), 4u);  // the killed run's two staged copies

  stageBoth(*aide);
  EXPECT_EQ(aide->PltDiscardStaged("PALM 01"), kPltOk);
  EXPECT_EQ(installable(), earlier);

  stageBoth(*aide);
  EXPECT_EQ(installable(), earlier);
  EXPECT_EQ(aide->PltCommitStaged("PALM 01"), kPltOk);
  EXPECT_EQ(Queued("PALM 01"), (std::vector<std::string>{"A.pdb", "B.pdb"}));
  EXPECT_EQ(installable(), (std::vector<std::string>{"A.pdb=new a, longer", "B.pdb=new b"}));
  InstallAide::PltEntryInfo info, again;
  ASSERT_EQ(aide->PltGetInstallFileInfo("PALM 01", "a.pdb", &info), kPltOk);
  EXPECT_EQ(info.bytes, 13u);
  EXPECT_EQ(aide->PltGetInstallFileInfo("PALM 01", "C:\\Exp\\C.pdb", &again), kPltNoSuchFile);
  // Queued again, the entry is another copy, though of the same size.
  stageBoth(*aide);
  EXPECT_EQ(aide->PltCommitStaged("PALM 01"), kPltOk);
  ASSERT_EQ(aide->PltGetInstallFileInfo("PALM 01", "A.pdb", &again), kPltOk);
  EXPECT_EQ(again.bytes, info.bytes);
  EXPECT_FALSE(again == info);
}

TEST_F(FolderQueue, RefusalsAnswerACodeAndTouchNothing) {
  AddUser("PALM 01");
  WriteBytes(tmp / "c" / "Exp" / "A.pdb", "a");
  WriteBytes(tmp / "root" / "A.pdb", "beside the users");
  struct Case {
    const char* user;
    const char* path;
    int install, remove;
  } cases[] = {
      {"PALM 01", "C:\\Exp\\MISSING.pdb", kPltNoSuchFile, kPltOk},
      {"PALM 01", "A.pdb", kPltNoSuchFile, kPltOk},              // no folder: not reachable
      {"PALM 01", "Q:\\Exp\\A.pdb", kPltNoSuchFile, kPltOk},     // unmapped drive
      {"PALM 01", "C:\\Exp\\", kPltBadFileName, kPltBadFileName},
      {"PALM 01", "C:\\Exp\\..", kPltBadFileName, kPltBadFileName},
      {"PALM 01", "C:\\Exp\\.A.pdb", kPltBadFileName, kPltBadFileName},  // a temporary's name
      {"PALM 01", "C:\\Exp", kPltNoSuchFile, kPltOk},            // a folder
      {"NOBODY", "C:\\Exp\\A.pdb", kPltNoSuchUser, kPltNoSuchUser},
      {"", "C:\\Exp\\A.pdb", kPltBadUserName, kPltBadUserName},
      {"..", "C:\\Exp\\A.pdb", kPltBadUserName, kPltBadUserName},
      {".", "C:\\Exp\\A.pdb", kPltBadUserName, kPltBadUserName},
      {"PALM 01/../..", "C:\\Exp\\A.pdb", kPltBadUserName, kPltBadUserName},
      {"..\\PALM 01", "C:\\Exp\\A.pdb", kPltBadUserName, kPltBadUserName},
      {"PALM\n01", "C:\\Exp\\A.pdb", kPltBadUserName, kPltBadUserName},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.user) + " " + c.path);
    EXPECT_EQ(aide->PltInstallFile(c.user, c.path), c.install);
    EXPECT_EQ(aide->PltRemoveInstallFile(c.user, c.path), c.remove);
  }
  EXPECT_TRUE(Queued("PALM 01").empty());
  EXPECT_EQ(ReadBytes(tmp / "root" / "A.pdb"), "beside the users");
  EXPECT_FALSE(stdfs::exists(tmp / "root" / "NOBODY"));
  EXPECT_EQ(aide->PltGetUserCount(), 1);
}

// Links below the root are never followed: a linked user is no user, a linked Install
// folder refuses queuing and removing, and the folder they point at is left as it was.
TEST_F(FolderQueue, LinkedUserAndInstallFoldersAreNeverWrittenOrDeletedThrough) {
  const stdfs::path decoy = tmp / "decoy";
  stdfs::create_directories(decoy / "Install");
  WriteBytes(decoy / "A.pdb", "decoy");
  WriteBytes(decoy / "Install" / "A.pdb", "decoy");
  WriteBytes(tmp / "c" / "Exp" / "A.pdb", "new");
  AddUser("PALM 01");
  stdfs::remove(Install("PALM 01"));
  stdfs::create_directory_symlink(decoy, Install("PALM 01"));
  stdfs::create_directory_symlink(decoy, tmp / "root" / "PALM 09");

  EXPECT_EQ(aide->PltGetUserCount(), 1);
  EXPECT_EQ(aide->PltInstallFile("PALM 01", "C:\\Exp\\A.pdb"), kPltIoError);
  EXPECT_EQ(aide->PltRemoveInstallFile("PALM 01", "C:\\Exp\\A.pdb"), kPltIoError);
  EXPECT_EQ(aide->PltInstallFile("PALM 09", "C:\\Exp\\A.pdb"), kPltNoSuchUser);
  EXPECT_EQ(aide->PltRemoveInstallFile("PALM 09", "C:\\Exp\\A.pdb"), kPltNoSuchUser);
  EXPECT_EQ(ReadBytes(decoy / "A.pdb"), "decoy");
  EXPECT_EQ(ReadBytes(decoy / "Install" / "A.pdb"), "decoy");
  EXPECT_EQ(std::distance(stdfs::directory_iterator(decoy), stdfs::directory_iterator()), 2);
}

TEST(MemQueueSource, FilesWithoutAHostPathAreCopiedFromTheirBytes) {
  TempFolder tmp;
  stdfs::create_directories(tmp / "PALM 01");
  auto files = NewMemFileSystem();
  files->CreateDir("C:\\Exp");
  files->WriteFile("C:\\Exp\\A.pdb", std::string(100000, 'x'));
  auto aide = NewFolderInstallAide(tmp.path(), *files);
  EXPECT_EQ(aide->PltInstallFile("PALM 01", "C:\\Exp\\A.pdb"), kPltOk);
  EXPECT_EQ(ReadBytes(tmp / "PALM 01" / "Install" / "A.pdb"), std::string(100000, 'x'));
}

}  // namespace
}  // namespace kve
