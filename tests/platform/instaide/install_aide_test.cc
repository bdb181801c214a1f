#include "platform/instaide/install_aide.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "platform/common/cp1252.h"
#include "platform/common/error.h"
#include "platform/fs/file_system.h"
#include "support/temp_folder.h"
#include "support/mem_fs.h"
#include "support/smb_server.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// A drive C in a temporary folder and a queue root: a folder beside it, or a folder of the
// test Samba server's share reached over SMB as a Windows PC's "\\PC\Palm" would be. Either
// way the test sets up and looks at the queue through the root's folder on this host.
enum class Where { kFolder, kSmb };

class QueueTest : public ::testing::Test {
 protected:
  void Open(Where where) {
    smb_ = where == Where::kSmb;
    stdfs::create_directories(tmp / "c" / "Exp");
    files = NewPosixFileSystem(PathMapping{{{'C', tmp / "c"}}, {}, 'C'});
    if (!smb_) {
      rootHost = tmp / "root";
      stdfs::create_directories(rootHost);
    } else {
      server_ = testing::SmbTestServer::FromEnvironment();
      if (!server_) GTEST_SKIP() << testing::SmbTestServer::SkipReason();
      const std::string name = "palm-" + tmp.path().filename().string();
      rootHost = server_->shareDir / name;
      rootShare = std::string("\\\\") + testing::kSmbTestHost + "\\Orvanta Web\\" + name;
      stdfs::create_directories(rootHost);
      Settle();
    }
    aide = NewAide();
  }
  ~QueueTest() override {
    std::error_code ec;
    if (smb_) stdfs::remove_all(rootHost, ec);
  }
  // A queue on the root with a file system of its own, as another process would have.
  std::unique_ptr<InstallAide> NewAide() {
    if (!smb_) return NewFolderInstallAide(rootHost, *files);
    auto own = NewSmbShareFileSystem(NewPosixFileSystem({}), server_->Settings(5));
    FileSystem& queue = *own;
    return NewShareInstallAide(rootShare, queue, *files, std::move(own));
  }
  // What the test put under the root becomes the share's user's, as the server's own files.
  void Settle() {
    if (!smb_) return;
    struct stat st;
    ASSERT_EQ(::stat(server_->shareDir.c_str(), &st), 0);
    ASSERT_EQ(::chown(rootHost.c_str(), st.st_uid, st.st_gid), 0);
    for (const auto& e : stdfs::recursive_directory_iterator(rootHost))
      ASSERT_EQ(::lchown(e.path().c_str(), st.st_uid, st.st_gid), 0) << e.path();
  }
  void AddUser(const std::string& name) {
    stdfs::create_directories(rootHost / name / "Install");
    Settle();
  }
  void Put(const stdfs::path& p, const std::string& bytes) {
    WriteBytes(p, bytes);
    Settle();
  }
  stdfs::path Install(const std::string& user) const { return rootHost / user / "Install"; }
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
  stdfs::path rootHost;   // the queue's root as this host sees it
  std::string rootShare;  // over SMB: the root as the queue reaches it
  std::unique_ptr<FileSystem> files;
  std::unique_ptr<InstallAide> aide;
  bool smb_ = false;
  std::optional<testing::SmbTestServer> server_;
};

// What only the folder's code does (links) or what does not depend on where the queue is.
class FolderQueue : public QueueTest {
 protected:
  void SetUp() override { Open(Where::kFolder); }
};

// The queue's behaviour in a folder of this host and in a PC's share over SMB.
class Queue : public QueueTest, public ::testing::WithParamInterface<Where> {
 protected:
  void SetUp() override { Open(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(In, Queue, ::testing::Values(Where::kFolder, Where::kSmb),
                         [](const ::testing::TestParamInfo<Where>& i) {
                           return std::string(i.param == Where::kSmb ? "Smb" : "Folder");
                         });

TEST_P(Queue, UsersAreTheSafeFoldersOfTheRootInByteOrder) {
  for (const char* u : {"palm 01", "PALM 01", "Zé", "B"}) AddUser(u);
  // A control character: no user (a server shows such a name as a made-up short one).
  if (!smb_) stdfs::create_directories(rootHost / "bell\x07");
  Put(rootHost / "notes.txt", "a file is no user");
  ASSERT_EQ(aide->PltGetUserCount(), 4);
  EXPECT_EQ((std::vector<std::string>{Name(0), Name(1), Name(2), Name(3)}),
            (std::vector<std::string>{"B", "PALM 01", "Zé", "palm 01"}));
  EXPECT_EQ(Name(4), "");

  stdfs::remove_all(rootHost);
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

TEST_P(Queue, QueuingCopiesUnderTheFilesOwnNameAndRemovingDeletesIt) {
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

TEST_P(Queue, AMissingInstallFolderIsMadeForAnExistingUser) {
  stdfs::create_directories(rootHost / "PALM 02");
  Settle();
  WriteBytes(tmp / "c" / "Exp" / "A.pdb", "a");
  EXPECT_EQ(aide->PltInstallFile("PALM 02", "C:\\Exp\\A.pdb"), kPltOk);
  EXPECT_EQ(Queued("PALM 02"), (std::vector<std::string>{"A.pdb"}));
}

// The unfinished copy of a killed run goes at the next queuing; a live run's stays.
TEST_P(Queue, QueuingRemovesTheCopiesOfKilledRuns) {
  AddUser("PALM 01");
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string killed = ".B.pdb.tmp-" + std::to_string(child) + "-0";
  const std::string live = ".B.pdb.tmp-" + std::to_string(::getpid()) + "-9";
  Put(Install("PALM 01") / killed, "part");
  Put(Install("PALM 01") / live, "part");
  WriteBytes(tmp / "c" / "Exp" / "A.pdb", "a");
  EXPECT_EQ(aide->PltInstallFile("PALM 01", "C:\\Exp\\A.pdb"), kPltOk);
  EXPECT_EQ(Queued("PALM 01"), (std::vector<std::string>{live, "A.pdb"}));
}

// An export replaces the earlier one only at its commit: a process killed after staging
// leaves the earlier entries whole and its staged copies under names a HotSync never takes,
// which the next queue change removes. A discarded staging changes nothing either.
TEST_P(Queue, StagedEntriesReplaceTheQueueOnlyAtTheCommit) {
  AddUser("PALM 01");
  Put(Install("PALM 01") / "a.pdb", "old a");  // another letter case: the same entry
  Put(Install("PALM 01") / "B.pdb", "old b");
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
    stageBoth(*NewAide());
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

TEST_P(Queue, RefusalsAnswerACodeAndTouchNothing) {
  AddUser("PALM 01");
  WriteBytes(tmp / "c" / "Exp" / "A.pdb", "a");
  Put(rootHost / "A.pdb", "beside the users");
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
  EXPECT_EQ(ReadBytes(rootHost / "A.pdb"), "beside the users");
  EXPECT_FALSE(stdfs::exists(rootHost / "NOBODY"));
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
  stdfs::create_directory_symlink(decoy, rootHost / "PALM 09");

  EXPECT_EQ(aide->PltGetUserCount(), 1);
  EXPECT_EQ(aide->PltInstallFile("PALM 01", "C:\\Exp\\A.pdb"), kPltIoError);
  EXPECT_EQ(aide->PltRemoveInstallFile("PALM 01", "C:\\Exp\\A.pdb"), kPltIoError);
  EXPECT_EQ(aide->PltInstallFile("PALM 09", "C:\\Exp\\A.pdb"), kPltNoSuchUser);
  EXPECT_EQ(aide->PltRemoveInstallFile("PALM 09", "C:\\Exp\\A.pdb"), kPltNoSuchUser);
  EXPECT_EQ(ReadBytes(decoy / "A.pdb"), "decoy");
  EXPECT_EQ(ReadBytes(decoy / "Install" / "A.pdb"), "decoy");
  EXPECT_EQ(std::distance(stdfs::directory_iterator(decoy), stdfs::directory_iterator()), 2);
}

TEST(ShareQueueRoot, AnSmbAddressNamesAShareAndAnythingElseIsAHostFolder) {
  EXPECT_EQ(ShareQueueRootOf("smb://PC/Palm"), "\\\\PC\\Palm");
  EXPECT_EQ(ShareQueueRootOf("smb://PC/Palm Desktop/Fila/"), "\\\\PC\\Palm Desktop\\Fila");
  EXPECT_EQ(ShareQueueRootOf("/srv/hotsync"), std::nullopt);
  EXPECT_EQ(ShareQueueRootOf("var/smb/hotsync"), std::nullopt);
  for (const char* bad : {"smb://PC", "smb://PC/", "smb:///Palm"}) EXPECT_THROW(ShareQueueRootOf(bad), ValueError) << bad;
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
