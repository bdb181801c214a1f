#include <gtest/gtest.h>
#include <unistd.h>

#include "record/summary.h"
#include "record/history.h"
#include "ledger/ledger.h"
#include "platform/common/error.h"
#include "platform/dataset/xml_packet.h"
#include "platform/fs/smb_fs.h"
#include "support/expdados_world.h"
#include "support/mem_fs.h"
#include "support/smb_server.h"
#include "support/temp_folder.h"

namespace kve::record {
namespace {

std::string Packet(int rows, bool xml) {
  TClientDataSet ds("T");
  ds.FieldDefs().push_back(StringField("CD", 4));
  ds.CreateDataSet();
  for (int i = 0; i < rows; ++i) {
    ds.Append();
    ds.Fields(0).SetAsString(std::to_string(i));
    ds.Post();
  }
  ds.MergeChangeLog();
  if (!xml) return ds.Data();
  std::string out;
  StringSink sink(out);
  WriteXmlPacket(ds, sink);
  return out;
}

TEST(BatchSummary, TheFilesOfTheRunAreListedWithRowsReadBackAndBytes) {
  auto fs = NewMemFileSystem();
  fs->CreateDir("C:\\Exp");
  fs->WriteFile("C:\\Exp\\OLD.cds", Packet(9, false));
  auto since = std::chrono::system_clock::now();
  fs->WriteFile("C:\\Exp\\FILIAL.CDS", Packet(3, false));
  fs->WriteFile("C:\\Exp\\SERIE.xml", Packet(2, true));
  fs->WriteFile("C:\\Exp\\KVE.prc", "not a table");

  std::vector<FileSummary> files = WrittenFiles(*fs, "C:\\Exp", since);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].name, "FILIAL.CDS");
  EXPECT_EQ(files[0].rows, 3);
  EXPECT_EQ(files[0].bytes, Packet(3, false).size());
  EXPECT_EQ(files[1].name, "KVE.prc");
  EXPECT_EQ(files[1].rows, std::nullopt);
  EXPECT_EQ(files[2].name, "SERIE.xml");
  EXPECT_EQ(files[2].rows, 2);
  EXPECT_TRUE(WrittenFiles(*fs, "C:\\Missing\\", since).empty());
}

// A share as the summary sees it, every read of a file counted. A file system that lists no
// folder entries (the memory double) has them made up from its files.
class CountedShare final : public FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  std::string ReadFile(std::string_view path) override {
    ++reads;
    return base_.ReadFile(path);
  }
  std::vector<FolderEntry> ListEntries(std::string_view dir) override {
    try {
      return base_.ListEntries(dir);
    } catch (const IoError&) {
      std::vector<FolderEntry> out;
      for (const std::string& n : base_.ListFiles(dir, "*"))
        out.push_back({n, FolderEntry::Kind::kFile, base_.ReadFile(std::string(dir) + n).size()});
      return out;
    }
  }
  int reads = 0;
};

// Files still as the run wrote them into `dir` on `base` (a staged copy renamed into place
// among them) are listed with their rows and hashes, and kept by the ledger, without a read;
// a file someone replaced since is read, and given the hash of what was read.
void ExpectFilesTakenAsWritten(FileSystem& base, const std::string& dir, bool keepCopy) {
  CountedShare share(base);
  HashingFileSystem fs(share, keepCopy);
  const std::string a = Packet(3, false), b = Packet(2, true), c = Packet(4, false), other = Packet(5, false);
  // File times on a server come from its clock: allow for its tick.
  auto since = std::chrono::system_clock::now() - std::chrono::milliseconds(50);
  fs.WriteFile(dir + "~A.cds.kve-staged", a);
  fs.RenameFile(dir + "~A.cds.kve-staged", dir + "A.cds");
  fs.WriteFile(dir + "B.xml", b);
  fs.WriteFile(dir + "C.cds", c);
  share.WriteFile(dir + "C.cds", other);  // by someone else

  testing::TempFolder ledgerDir;
  ledger::ArchiveWriter copy(ledgerDir.path());
  LedgerTake take(copy, keepCopy, &fs);
  std::vector<FileSummary> files = WrittenFiles(fs, dir, since, {"A.cds", "B.xml", "C.cds"}, take.Visitor());
  take.Finish(files);
  EXPECT_EQ(share.reads, 1);
  ASSERT_EQ(files.size(), 3u);
  const std::string bytes[] = {a, b, other};
  const int rows[] = {3, 2, 5};
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(files[i].bytes, bytes[i].size()) << files[i].name;
    EXPECT_EQ(files[i].rows, rows[i]) << files[i].name;
    EXPECT_EQ(files[i].sha256, ledger::Sha256Hex(bytes[i])) << files[i].name;
  }
  const std::string kept = copy.Commit(1, "eeepc", "002", 1);
  EXPECT_EQ(kept.empty(), !keepCopy) << copy.Problem();
  if (keepCopy) {
    for (size_t i = 0; i < files.size(); ++i)
      EXPECT_EQ(testing::ReadBytes(ledgerDir.path() / kept / files[i].name), bytes[i]) << files[i].name;
  }
}

TEST(BatchSummary, FilesStillAsWrittenAreListedWithoutBeingReadBack) {
  for (bool keepCopy : {true, false}) {
    SCOPED_TRACE(keepCopy ? "copies kept" : "no copy kept");
    auto mem = NewMemFileSystem();
    ExpectFilesTakenAsWritten(*mem, "C:\\", keepCopy);
  }
}

// The same on a real server, whose file times must read back as they were taken.
TEST(BatchSummary, FilesStillAsWrittenOverSmbAreListedWithoutBeingReadBack) {
  auto server = testing::SmbTestServer::FromEnvironment();
  if (!server) GTEST_SKIP() << testing::SmbTestServer::SkipReason();
  auto smb = NewSmbShareFileSystem(NewHostFileSystem(), server->Settings());
  const std::string name = "summary-" + std::to_string(::getpid());
  const std::string dir = std::string("\\\\") + testing::kSmbTestHost + "\\Orvanta Web\\" + name;
  smb->CreateDir(dir);
  ExpectFilesTakenAsWritten(*smb, dir + "\\", true);
  std::filesystem::remove_all(server->shareDir / name);
}

TEST(BatchSummary, TheJsonObjectCarriesWhatAScriptNeeds) {
  Summary s;
  s.target = "palm";
  s.deviceCode = "001";
  s.deviceName = "Palm 01";
  s.folder = "C:\\Palm\\Kve\\Exp\\";
  s.files = {{"FILIAL.pdb", 13, 2048, "ab"}, {"KVE.prc", std::nullopt, 10, "cd"}};
  s.queueUser = "Palm 01";
  s.queue = {"FILIAL.pdb"};
  s.closingMessage = "Exportação concluída.";
  s.ending = Ending::Exported;
  s.seconds = 1.23456;
  nlohmann::json j = ToJson(s);
  EXPECT_EQ(j["outcome"], "exported");
  EXPECT_EQ(j["exit_status"], 0);
  EXPECT_EQ(j["device"]["name"], "Palm 01");
  EXPECT_EQ(j["files"][0]["rows"], 13);
  EXPECT_TRUE(j["files"][1]["rows"].is_null());
  EXPECT_EQ(j["queue"]["entries"].size(), 1u);
  EXPECT_EQ(j["closing_message"], "Exportação concluída.");
  EXPECT_DOUBLE_EQ(j["seconds"].get<double>(), 1.235);
  EXPECT_FALSE(j.contains("problem"));
}

}  // namespace
}  // namespace kve::record
