// One contract, run on the real file system (in a temporary folder), on the memory double, and
// over SMB against the test Samba server.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <stdlib.h>

#include <fstream>
#include <functional>

#include "platform/common/error.h"
#include "support/error_fs.h"
#include "platform/fs/file_system.h"
#include "support/pe_image.h"
#include "support/mem_fs.h"
#include "support/smb_server.h"
#include "platform/fs/smb_fs.h"
#include "platform/fs/win_path.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

// A file system plus the outside step that makes a share reachable.
struct Subject {
  std::unique_ptr<FileSystem> fs;
  std::function<void(const std::string& host, const std::string& share)> addShare;
  stdfs::path root;  // temporary folder to remove, if any
  std::unique_ptr<FileSystem> base;  // the file system below `fs`, if any
  bool fixedShares = false;  // the shares are the server's: addShare cannot make one
};

Subject MakePosix() {
  std::string tmpl = (stdfs::temp_directory_path() / "kve-fs-XXXXXX").string();
  stdfs::path root = ::mkdtemp(tmpl.data());
  stdfs::create_directories(root / "c");
  stdfs::create_directories(root / "shares");
  PathMapping m;
  m.drives = {{'C', root / "c"}};
  m.shares = root / "shares";
  Subject s{NewPosixFileSystem(m), nullptr, root, nullptr};
  s.addShare = [root](const std::string& h, const std::string& sh) {
    stdfs::create_directories(root / "shares" / h / sh);
  };
  return s;
}

Subject MakeMem() {
  Subject s{NewMemFileSystem(), nullptr, {}, nullptr};
  FileSystem* fs = s.fs.get();
  s.addShare = [fs](const std::string& h, const std::string& sh) { fs->CreateDir("\\\\" + h + "\\" + sh); };
  return s;
}

// Reads the real file system, writes into a scratch folder beside it.
Subject MakeOverlay() {
  Subject base = MakePosix();
  stdfs::create_directories(base.root / "scratch");
  Subject s{NewOverlayFileSystem(*base.fs, base.root / "scratch"), base.addShare, base.root, std::move(base.fs)};
  return s;
}

// Drive C: of the contract as a fresh folder on the test server's share, so that every case
// runs over SMB; errors name the paths as the test gave them.
class DriveOnShare final : public FileSystem {
 public:
  DriveOnShare(std::unique_ptr<FileSystem> smb, std::string folder) : smb_(std::move(smb)), folder_(std::move(folder)) {}
  bool FileExists(std::string_view p) override { return Do(p, [&](const std::string& q) { return smb_->FileExists(q); }); }
  bool DirectoryExists(std::string_view p) override { return Do(p, [&](const std::string& q) { return smb_->DirectoryExists(q); }); }
  void CreateDir(std::string_view p) override { Do(p, [&](const std::string& q) { smb_->CreateDir(q); }); }
  std::vector<std::string> ListFiles(std::string_view d, std::string_view m) override {
    return Do(d, [&](const std::string& q) { return smb_->ListFiles(q, m); });
  }
  std::vector<FolderEntry> ListEntries(std::string_view d) override {
    return Do(d, [&](const std::string& q) { return smb_->ListEntries(q); });
  }
  std::string ReadFile(std::string_view p) override { return Do(p, [&](const std::string& q) { return smb_->ReadFile(q); }); }
  std::string ReadFileHead(std::string_view p, size_t n) override {
    return Do(p, [&](const std::string& q) { return smb_->ReadFileHead(q, n); });
  }
  std::unique_ptr<WriteStream> OpenForWrite(std::string_view p, Durability d) override {
    return Do(p, [&](const std::string& q) { return smb_->OpenForWrite(q, d); });
  }
  void WriteFile(std::string_view p, std::string_view data) override {
    Do(p, [&](const std::string& q) { smb_->WriteFile(q, data); });
  }
  void CopyFile(std::string_view from, std::string_view to) override {
    const std::string f = Map(from);
    Do(to, [&](const std::string& q) { smb_->CopyFile(f, q); }, from);
  }
  void RenameFile(std::string_view from, std::string_view to) override {
    const std::string f = Map(from);
    Do(to, [&](const std::string& q) { smb_->RenameFile(f, q); }, from);
  }
  bool DeleteFile(std::string_view p) override { return Do(p, [&](const std::string& q) { return smb_->DeleteFile(q); }); }
  std::optional<std::chrono::system_clock::time_point> FileTime(std::string_view p) override {
    return Do(p, [&](const std::string& q) { return smb_->FileTime(q); });
  }
  std::optional<stdfs::path> HostPath(std::string_view) override { return std::nullopt; }

 private:
  std::string Map(std::string_view path) const {
    WinPath w = ParseWinPath(path);
    if (w.root == WinPath::Root::Share) return std::string(path);
    std::string q = folder_;
    for (const std::string& part : w.parts) q += "\\" + part;
    return q;
  }
  // Runs `op` on the mapped path; an IoError's text names `path` (and `other`) again.
  template <typename Op>
  auto Do(std::string_view path, Op op, std::string_view other = {}) -> decltype(op(std::string())) {
    const std::string q = Map(path), o = other.empty() ? std::string() : Map(other);
    try {
      return op(q);
    } catch (const IoError& e) {
      std::string text = e.what();
      for (auto [from, to] : {std::pair{q, std::string(path)}, std::pair{o, std::string(other)}}) {
        if (from.empty()) continue;
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
          text.replace(at, from.size(), to);
      }
      throw IoError(text, e.kind());
    }
  }
  std::unique_ptr<FileSystem> smb_;
  std::string folder_;  // "\\HOST\SHARE\t-N", drive C:'s root
};

Subject MakeSmb() {
  auto server = testing::SmbTestServer::FromEnvironment();
  if (!server) return {};
  static int n = 0;
  const std::string name = "contract-" + std::to_string(::getpid()) + "-" + std::to_string(++n);
  auto smb = NewSmbShareFileSystem(NewMemFileSystem(), server->Settings());
  const std::string folder = std::string("\\\\") + testing::kSmbTestHost + "\\Orvanta Web\\" + name;
  smb->CreateDir(folder);
  Subject s{std::make_unique<DriveOnShare>(std::move(smb), folder), nullptr, server->shareDir / name, nullptr, true};
  return s;
}

class FileSystemContract : public ::testing::TestWithParam<Subject (*)()> {
 protected:
  void SetUp() override {
    s_ = GetParam()();
    if (!s_.fs) GTEST_SKIP() << testing::SmbTestServer::SkipReason();
    fs().CreateDir("C:\\Palm");
    fs().CreateDir("C:\\Palm\\Kve");
  }
  void TearDown() override {
    if (!s_.root.empty()) stdfs::remove_all(s_.root);
  }
  FileSystem& fs() { return *s_.fs; }
  Subject s_;
};

TEST_P(FileSystemContract, WritesReadsAndReplacesWholeFiles) {
  fs().WriteFile("C:\\Palm\\Kve\\a.xml", "first content");
  fs().WriteFile("C:\\Palm\\Kve\\a.xml", "2nd");
  EXPECT_EQ(fs().ReadFile("C:\\Palm\\Kve\\a.xml"), "2nd");
  EXPECT_TRUE(fs().FileExists("C:\\Palm\\Kve\\a.xml"));
  EXPECT_FALSE(fs().DirectoryExists("C:\\Palm\\Kve\\a.xml"));
  EXPECT_TRUE(fs().DirectoryExists("C:\\Palm\\Kve\\"));
  EXPECT_FALSE(fs().FileExists("C:\\Palm\\Kve"));
  EXPECT_TRUE(fs().FileTime("C:\\Palm\\Kve\\a.xml").has_value());
  EXPECT_FALSE(fs().FileTime("C:\\Palm\\Kve\\b.xml").has_value());
}

// A stream shows nothing until committed, and an abandoned one (a throw half way) leaves the
// earlier file whole and nothing beside it; a head is the file's first bytes, or all of a
// shorter one.
TEST_P(FileSystemContract, AStreamReplacesTheFileOnlyWhenCommittedAndAHeadIsAPrefix) {
  const std::string path = "C:\\Palm\\Kve\\LIB.pdb";
  fs().WriteFile(path, "old");
  {
    auto out = fs().OpenForWrite(path, Durability::kSynced);
    out->Write("header--");
    out->Write("records");
    EXPECT_EQ(fs().ReadFile(path), "old");
    out->WriteAt(0, "HEADER");
    EXPECT_EQ(out->ReadAt(6, 4), "--re");
    EXPECT_EQ(out->ReadAt(14, 1), "s");
  }  // abandoned
  EXPECT_EQ(fs().ReadFile(path), "old");
  EXPECT_EQ(fs().ListFiles("C:\\Palm\\Kve", "*"), std::vector<std::string>{"LIB.pdb"});
  auto out = fs().OpenForWrite(path, Durability::kUnsynced);
  out->Write("discarded");
  out->Restart();
  out->Write("header--records");
  out->WriteAt(0, "HEADER");
  out->Commit();
  EXPECT_EQ(fs().ReadFile(path), "HEADER--records");

  EXPECT_EQ(fs().ReadFileHead(path, 6), "HEADER");
  EXPECT_EQ(fs().ReadFileHead(path, 100), "HEADER--records");
  EXPECT_THROW(fs().ReadFileHead("C:\\Palm\\Kve\\none.pdb", 6), IoError);
  EXPECT_THROW(fs().ReadFileHead("C:\\Palm\\Kve", 6), IoError);
  EXPECT_THROW(fs().OpenForWrite("C:\\Palm\\None\\LIB.pdb", Durability::kSynced), IoError);
  EXPECT_THROW(fs().OpenForWrite("C:\\Palm\\Kve", Durability::kSynced), IoError);
}

TEST_P(FileSystemContract, MatchesNamesWithoutRegardToCaseAndTakesEitherSlash) {
  fs().WriteFile("C:\\Palm\\Kve\\FILIAL.xml", "x");
  EXPECT_EQ(fs().ReadFile("c:/palm/KVE/filial.XML"), "x");
  fs().WriteFile("c:\\PALM\\kve\\Filial.XML", "y");  // the same file
  EXPECT_EQ(fs().ListFiles("C:\\Palm\\Kve", "*.*"), std::vector<std::string>{"FILIAL.xml"});
  EXPECT_EQ(fs().ReadFile("\\Palm\\Kve\\FILIAL.xml"), "y");  // root of the current drive
}

TEST_P(FileSystemContract, CreatesOneFolderAtATimeAndNeverInsideAMissingOne) {
  EXPECT_NO_THROW(fs().CreateDir("C:\\Palm\\Kve"));  // existing: fine
  EXPECT_THROW(fs().CreateDir("C:\\Palm\\Kve\\Exp\\Sub"), IoError);
  EXPECT_FALSE(fs().DirectoryExists("C:\\Palm\\Kve\\Exp"));
  try {
    fs().WriteFile("C:\\Palm\\Kve\\Exp\\a.xml", "x");
    FAIL();
  } catch (const IoError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("C:\\Palm\\Kve\\Exp\\a.xml: ", 0), 0u) << e.what();
  }
  fs().WriteFile("C:\\Palm\\Kve\\f", "x");
  EXPECT_THROW(fs().CreateDir("C:\\Palm\\Kve\\f"), IoError);  // a file in the way
}

TEST_P(FileSystemContract, ListsOnlyFilesMatchingTheMaskSortedWithoutRegardToCase) {
  fs().CreateDir("C:\\Palm\\Kve\\Exp");
  for (const char* n : {"b.xml", "A.XML", "c.pdb", "PREVRETI.xml"}) {
    fs().WriteFile(std::string("C:\\Palm\\Kve\\Exp\\") + n, n);
  }
  fs().CreateDir("C:\\Palm\\Kve\\Exp\\dir.xml");
  EXPECT_EQ(fs().ListFiles("C:\\Palm\\Kve\\Exp", "*.xml"),
            (std::vector<std::string>{"A.XML", "b.xml", "PREVRETI.xml"}));
  EXPECT_EQ(fs().ListFiles("C:\\Palm\\Kve\\Exp", "?.*").size(), 3u);
  EXPECT_THROW(fs().ListFiles("C:\\Palm\\Nope", "*"), IoError);
}

// Entries of every kind, for callers that walk folders (a queue's users): files with their
// size and an identity that changes when the file is written anew.
TEST_P(FileSystemContract, ListsEntriesOfEveryKindWithSizesAndIdentities) {
  fs().WriteFile("C:\\Palm\\Kve\\A.pdb", "four");
  fs().CreateDir("C:\\Palm\\Kve\\Install");
  std::vector<FolderEntry> entries;
  try {
    entries = fs().ListEntries("C:\\Palm\\Kve");
  } catch (const IoError& e) {
    GTEST_SKIP() << e.what();  // a file system of no queue
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "A.pdb");
  EXPECT_EQ(entries[0].kind, FolderEntry::Kind::kFile);
  EXPECT_EQ(entries[0].bytes, 4u);
  EXPECT_EQ(entries[1].name, "Install");
  EXPECT_EQ(entries[1].kind, FolderEntry::Kind::kFolder);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  fs().WriteFile("C:\\Palm\\Kve\\A.pdb", "FOUR");
  for (const FolderEntry& e : fs().ListEntries("C:\\Palm\\Kve"))
    if (e.name == "A.pdb") EXPECT_FALSE(std::equal(std::begin(e.identity), std::end(e.identity), entries[0].identity));
  EXPECT_THROW(fs().ListEntries("C:\\Palm\\Nope"), IoError);
}

TEST_P(FileSystemContract, CopyReplacesTheDestinationAndAMissingSourceTouchesNothing) {
  fs().WriteFile("C:\\Palm\\src.bpl", "new");
  fs().WriteFile("C:\\Palm\\Kve\\dst.bpl", "old");
  fs().CopyFile("C:\\Palm\\src.bpl", "C:\\Palm\\Kve\\dst.bpl");
  EXPECT_EQ(fs().ReadFile("C:\\Palm\\Kve\\dst.bpl"), "new");
  try {
    fs().CopyFile("C:\\Palm\\none.bpl", "C:\\Palm\\Kve\\dst.bpl");
    FAIL();
  } catch (const IoError& e) {
    EXPECT_NE(std::string(e.what()).find("C:\\Palm\\none.bpl"), std::string::npos);
  }
  EXPECT_EQ(fs().ReadFile("C:\\Palm\\Kve\\dst.bpl"), "new");
}

TEST_P(FileSystemContract, DeleteSaysWhetherThereWasAFile) {
  fs().WriteFile("C:\\Palm\\x", "1");
  EXPECT_TRUE(fs().DeleteFile("C:\\PALM\\X"));
  EXPECT_FALSE(fs().DeleteFile("C:\\Palm\\x"));
  EXPECT_THROW(fs().ReadFile("C:\\Palm\\x"), IoError);
}

TEST_P(FileSystemContract, RenameReplacesTheTargetWhole) {
  fs().WriteFile("C:\\Palm\\.staged", "new");
  fs().WriteFile("C:\\Palm\\FILIAL.CDS", "old");
  fs().RenameFile("C:\\Palm\\.staged", "C:\\Palm\\FILIAL.CDS");
  EXPECT_EQ(fs().ReadFile("C:\\Palm\\FILIAL.CDS"), "new");
  EXPECT_FALSE(fs().FileExists("C:\\Palm\\.staged"));
  EXPECT_THROW(fs().RenameFile("C:\\Palm\\.staged", "C:\\Palm\\FILIAL.CDS"), IoError);
  EXPECT_EQ(fs().ReadFile("C:\\Palm\\FILIAL.CDS"), "new");
}

TEST_P(FileSystemContract, AShareIsUnreachableUntilItExistsThenHoldsFoldersAndFiles) {
  const std::string share = "\\\\NOTE-KITCHEN-01\\Orvanta Web";
  if (s_.fixedShares) {
    // The server lists "Orvanta Web"; a share it does not list is unreachable.
    EXPECT_FALSE(fs().DirectoryExists("\\\\NOTE-KITCHEN-01\\Orvanta Mobile"));
    EXPECT_THROW(fs().CreateDir("\\\\NOTE-KITCHEN-01\\Orvanta Mobile\\EeePc"), IoError);
    EXPECT_FALSE(fs().FileExists("\\\\NOTE-KITCHEN-01\\Orvanta Mobile\\x"));
  } else {
    EXPECT_FALSE(fs().DirectoryExists(share));
    EXPECT_THROW(fs().CreateDir(share + "\\EeePc"), IoError);
    s_.addShare("NOTE-KITCHEN-01", "Orvanta Web");
  }
  EXPECT_TRUE(fs().DirectoryExists("\\\\note-kitchen-01\\orvanta web"));
  if (s_.fixedShares) {
    // the share is the server's, shared by every case: a folder of this case's own on it
    EXPECT_TRUE(fs().DirectoryExists("C:\\"));
    fs().CreateDir("C:\\EeePc");
    fs().CreateDir("C:\\EeePc\\Kve");
    fs().WriteFile("C:\\EeePc\\Kve\\DADOS_EEPC.CDS", "cds");
    EXPECT_EQ(fs().ReadFile("c:\\eeepc\\kve\\dados_eepc.cds"), "cds");
    return;
  }
  fs().CreateDir(share + "\\EeePc");
  fs().CreateDir(share + "\\EeePc\\Kve");
  fs().WriteFile(share + "\\EeePc\\Kve\\DADOS_EEPC.CDS", "cds");
  EXPECT_EQ(fs().ReadFile(share + "\\EeePc\\Kve\\DADOS_EEPC.CDS"), "cds");
}

TEST_P(FileSystemContract, RefusesPathsThatLeaveTheirRootBeforeTouchingAnything) {
  for (const char* bad : {"C:\\Palm\\..\\..\\etc\\passwd", "\\\\HOST\\..\\x", "Palm\\Kve",
                          "C:Palm", "\\\\HOST", "\\\\.\\pipe\\x", "C:\\a\\b:c"}) {
    EXPECT_THROW(fs().FileExists(bad), ValueError) << bad;
    EXPECT_THROW(fs().WriteFile(bad, "x"), ValueError) << bad;
  }
}

TEST_P(FileSystemContract, AFullDiskLeavesTheOldFileWhole) {
  ErrorFileSystem efs(fs());
  efs.WriteFile("C:\\Palm\\Kve\\PRODUTO.xml", "old rows");
  efs.FailWritesAfter(4);
  EXPECT_THROW(efs.WriteFile("C:\\Palm\\Kve\\PRODUTO.xml", "many new rows"), IoError);
  EXPECT_EQ(fs().ReadFile("C:\\Palm\\Kve\\PRODUTO.xml"), "old rows");
  EXPECT_THROW(efs.CopyFile("C:\\Palm\\Kve\\PRODUTO.xml", "C:\\Palm\\copy.xml"), IoError);
  EXPECT_FALSE(fs().FileExists("C:\\Palm\\copy.xml"));
  efs.FailWritesAfter(4);
  {
    auto out = efs.OpenForWrite("C:\\Palm\\Kve\\PRODUTO.xml", Durability::kSynced);
    out->Write("many");
    EXPECT_THROW(out->Write(" new rows"), IoError);
  }
  EXPECT_EQ(fs().ReadFile("C:\\Palm\\Kve\\PRODUTO.xml"), "old rows");
  efs.AllowWrites();
  efs.FailCreateDir(true);
  EXPECT_THROW(efs.CreateDir("C:\\Palm\\Kve\\Bin"), IoError);
  EXPECT_NO_THROW(efs.CreateDir("C:\\Palm\\Kve"));  // existing folders need no write
}

TEST_P(FileSystemContract, ReadsTheFileVersionOfAnExecutable) {
  fs().WriteFile("C:\\Palm\\RDL.exe", testing::PeImage(4, 2, 0, 7));
  fs().WriteFile("C:\\Palm\\plain.bpl", "no resource at all");
  EXPECT_EQ(GetFileVersion(fs(), "C:\\Palm\\RDL.exe"), "4.2.0.7");
  EXPECT_EQ(GetFileVersion(fs(), "C:\\Palm\\plain.bpl"), "");
  EXPECT_EQ(GetFileVersion(fs(), "C:\\Palm\\missing.bpl"), "");
}

INSTANTIATE_TEST_SUITE_P(Posix, FileSystemContract, ::testing::Values(&MakePosix));
INSTANTIATE_TEST_SUITE_P(Memory, FileSystemContract, ::testing::Values(&MakeMem));
INSTANTIATE_TEST_SUITE_P(Overlay, FileSystemContract, ::testing::Values(&MakeOverlay));
INSTANTIATE_TEST_SUITE_P(Smb, FileSystemContract, ::testing::Values(&MakeSmb));

TEST(OverlayFileSystem, ChangesStayInTheScratchFolderAndTheBaseIsLeftAsItWas) {
  Subject base = MakePosix();
  base.fs->CreateDir("C:\\Exp");
  base.fs->WriteFile("C:\\Exp\\OLD.xml", "old");
  base.fs->WriteFile("C:\\Exp\\GONE.xml", "gone");
  stdfs::create_directories(base.root / "scratch");
  auto over = NewOverlayFileSystem(*base.fs, base.root / "scratch");
  over->WriteFile("C:\\Exp\\NEW.xml", "new");
  over->RenameFile("C:\\Exp\\OLD.xml", "C:\\Exp\\MOVED.xml");
  EXPECT_TRUE(over->DeleteFile("C:\\Exp\\gone.xml"));
  // A library writing through the host path writes into the scratch folder too.
  std::ofstream(*over->HostPath("C:\\Exp") / "LIB.pdb") << "pdb";
  EXPECT_EQ(over->ListFiles("C:\\Exp", "*"), (std::vector<std::string>{"LIB.pdb", "MOVED.xml", "NEW.xml"}));
  EXPECT_EQ(over->ReadFile("C:\\Exp\\MOVED.xml"), "old");
  EXPECT_FALSE(over->FileTime("C:\\Exp\\OLD.xml"));
  EXPECT_EQ(base.fs->ListFiles("C:\\Exp", "*"), (std::vector<std::string>{"GONE.xml", "OLD.xml"}));
  EXPECT_EQ(base.fs->ReadFile("C:\\Exp\\OLD.xml"), "old");
  stdfs::remove_all(base.root);
}

}  // namespace
}  // namespace kve
