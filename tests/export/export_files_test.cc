// The files of an export on an in-memory folder: the eeePC's files staged and renamed into
// place only when all were written, and an earlier export left whole by any failure.
#include <gtest/gtest.h>

#include <map>

#include "export/export_files.h"
#include "export_tables.h"
#include "platform/common/error.h"
#include "support/error_fs.h"
#include "support/mem_fs.h"

namespace kve::exporting {
namespace {

constexpr const char* kDir = "\\\\NOTE-01\\Orvanta Web\\EeePc\\Kve\\Exp\\";

class EeepcExport : public ::testing::Test {
 protected:
  EeepcExport() : fs(*mem) {
    mem->CreateDir("\\\\NOTE-01\\Orvanta Web");
    for (const char* d : {"\\EeePc", "\\EeePc\\Kve", "\\EeePc\\Kve\\Exp"})
      mem->CreateDir(std::string("\\\\NOTE-01\\Orvanta Web") + d);
    for (const TableSpec& t : Catalogue()) {
      if (t.source == Source::Local && t.dataset != "cdsProdCod") continue;
      CreateEmpty(tables[std::string(t.dataset)], t);
    }
  }
  std::map<std::string, std::string> Folder() {
    std::map<std::string, std::string> out;
    for (const std::string& f : mem->ListFiles(kDir, "*")) out[f] = mem->ReadFile(std::string(kDir) + f);
    return out;
  }
  // The files as the export run encodes them: each table's packet, the settings table built
  // once the others are written.
  void Export(const std::function<void()>& buildSettings = [] {}) {
    const std::vector<FileEntry> files = EeepcFiles();
    std::string current;
    WriteEeepcBytes(
        fs, kDir,
        [&](size_t i) -> std::string_view { return current = BinaryPacket(Table(*files[i].table), files[i].file); },
        [&] {
          buildSettings();
          return BinaryPacket(Table(EeepcSettingsTable()), EeepcSettingsTable().eeepcFile);
        },
        nullptr);
  }
  TClientDataSet& Table(const TableSpec& t) { return tables.at(std::string(t.dataset)); }

  std::unique_ptr<FileSystem> mem = NewMemFileSystem();
  ErrorFileSystem fs;
  std::map<std::string, TClientDataSet> tables;
};

TEST_F(EeepcExport, EveryFileLandsUnderItsOwnNameWithTheSettingsBuiltLast) {
  int built = 0;
  Export([&] {
    ++built;
    // Nothing has replaced a file of the folder yet.
    for (const auto& [name, bytes] : Folder()) EXPECT_EQ(name.front(), '~') << name;
    testing::AddRow(tables.at("cdsDados"), {{"CDFILIAL", "0002"}});
  });
  EXPECT_EQ(built, 1);
  auto files = Folder();
  ASSERT_EQ(files.size(), 35u);
  for (const FileEntry& f : EeepcFiles()) EXPECT_TRUE(files.count(std::string(f.file))) << f.file;
  TClientDataSet dados;
  dados.SetData(files.at("DADOS_EEPC.CDS"));
  EXPECT_EQ(dados.RecordCount(), 1);
}

// A share that fails half-way (disk full, the eeePC switched off), a failing settings build,
// or a rename refused after a few files: no temporary stays behind, and without the renames
// the earlier export is whole.
TEST_F(EeepcExport, AFailureLeavesTheEarlierExportWholeAndNoTemporaries) {
  testing::AddRow(tables.at("cdsFilial"), {{"CDFILIAL", "0002"}});
  Export();
  const auto earlier = Folder();
  testing::AddRow(tables.at("cdsFilial"), {{"CDFILIAL", "0003"}});
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::function<void()> settings;
    bool earlierWhole;
  } cases[] = {
      {"writes fail", [this] { fs.FailWritesAfter(3000); }, [] {}, true},
      {"settings fail", [] {}, [] { throw ValueError("DADOS_EEPC: no branch"); }, true},
      {"renames fail", [this] { fs.FailRenamesAfter(5); }, [] {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    EXPECT_THROW(Export(c.settings), Error);
    fs.AllowWrites();
    fs.FailRenamesAfter(1000);
    auto now = Folder();
    for (const auto& [name, bytes] : now) EXPECT_NE(name.front(), '~') << name;
    EXPECT_EQ(now.size(), earlier.size());
    if (c.earlierWhole) {
      EXPECT_EQ(now, earlier);
    }
    for (const auto& [name, bytes] : earlier) mem->WriteFile(std::string(kDir) + name, bytes);
  }
}

}  // namespace
}  // namespace kve::exporting
