#include <gtest/gtest.h>

#include "record/summary.h"
#include "platform/dataset/xml_packet.h"
#include "support/expdados_world.h"
#include "support/mem_fs.h"

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
