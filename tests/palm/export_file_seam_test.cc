// Every file an export writes (the XML and binary packets, the Palm databases) goes through
// the file system it is given: the same save on the real folders, in memory, on a full disk
// and on a read-only medium gives the file or the same one-line error, and an earlier file
// survives a failed write.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "palm/pdb_conversion.h"
#include "palm/progress_recorder.h"
#include "platform/common/error.h"
#include "platform/pdb/pdb_reader.h"
#include "support/error_fs.h"
#include "support/temp_folder.h"
#include "support/mem_fs.h"

namespace kve::palm {
namespace {

constexpr const char* kXml = "C:\\Exp\\ITEM.xml";
constexpr const char* kCds = "C:\\Exp\\ITEM.cds";
constexpr const char* kPdb = "C:\\Exp\\ITEM.pdb";

void MakeTable(TClientDataSet& ds) {
  ds.FieldDefs() = {StringField("NMPRODUTO", 20), TypedField("QT", FieldType::Int32)};
  ds.CreateDataSet();
  for (int i = 0; i < 3; ++i) {
    ds.Append();
    ds.FieldByName("NMPRODUTO").SetAsString("FEIJÃO " + std::to_string(i));
    ds.FieldByName("QT").SetAsInteger(i * 7);
    ds.Post();
  }
}

struct Subject {
  const char* name;
  // The file system under test over `base`, which the test uses to set the scene.
  std::function<FileSystem&(FileSystem& base, ErrorFileSystem& errors)> wrap;
  const char* error;  // the end of every write's error; empty: the writes succeed
};

TEST(ExportFileSeam, PacketsAndDatabasesGoThroughTheFileSystem) {
  const Subject subjects[] = {
      {"posix", [](FileSystem& base, ErrorFileSystem&) -> FileSystem& { return base; }, ""},
      {"memory", [](FileSystem& base, ErrorFileSystem&) -> FileSystem& { return base; }, ""},
      {"disk full",
       [](FileSystem&, ErrorFileSystem& e) -> FileSystem& {
         e.FailWritesAfter(0);
         return e;
       },
       ": cannot write: No space left on device"},
      {"read-only",
       [](FileSystem&, ErrorFileSystem& e) -> FileSystem& {
         e.SetReadOnly(true);
         return e;
       },
       ": cannot write: Read-only file system"},
  };
  for (const Subject& s : subjects) {
    SCOPED_TRACE(s.name);
    testing::TempFolder dir;
    PathMapping mapping;
    mapping.drives = {{'C', dir.path()}};
    std::unique_ptr<FileSystem> base =
        std::string(s.name) == "posix" ? NewPosixFileSystem(mapping) : NewMemFileSystem();
    base->CreateDir("C:\\Exp");
    ErrorFileSystem errors(*base);
    FileSystem& fs = s.wrap(*base, errors);

    TClientDataSet ds("ITEM");
    MakeTable(ds);
    ProgressRecorder progress;
    if (*s.error == '\0') {
      ds.SaveToFile(fs, kXml, DataPacketFormat::Xml);
      ds.SaveToFile(fs, kCds, DataPacketFormat::Binary);
      EXPECT_THAT(ConvertXmlFolder(fs, "C:\\Exp", progress), ::testing::ElementsAre("ITEM.pdb"));
      TClientDataSet back("ITEM");
      back.LoadFromFile(fs, kCds);
      EXPECT_EQ(back.RecordCount(), 3);
      back.LoadFromFile(fs, kXml);
      back.First();
      back.Next();
      back.Next();
      EXPECT_EQ(back.FieldByName("NMPRODUTO").AsString(), "FEIJÃO 2");
      const auto pdb = pdb::PdbFile::Parse(fs.ReadFile(kPdb), kPdb);
      ASSERT_EQ(pdb.RecordCount(), 3);
      EXPECT_EQ(pdb.Record(2)[1].integer, 14);
      EXPECT_THAT(fs.ListFiles("C:\\Exp", "*"),
                  ::testing::UnorderedElementsAre("ITEM.xml", "ITEM.cds", "ITEM.pdb"));
      continue;
    }
    // The earlier export's files, and the XML the conversion reads, set through the base.
    ds.SaveToFile(*base, kXml, DataPacketFormat::Xml);
    const std::string earlierXml = base->ReadFile(kXml);
    base->WriteFile(kCds, "earlier");
    base->WriteFile(kPdb, "earlier");
    const auto failure = [&](const std::function<void()>& write) -> std::string {
      try {
        write();
      } catch (const IoError& e) {
        return e.what();
      }
      return "no error";
    };
    EXPECT_EQ(failure([&] { ds.SaveToFile(fs, kXml, DataPacketFormat::Xml); }),
              std::string(kXml) + s.error);
    EXPECT_EQ(failure([&] { ds.SaveToFile(fs, kCds, DataPacketFormat::Binary); }),
              std::string(kCds) + s.error);
    EXPECT_EQ(failure([&] { ConvertXmlFolder(fs, "C:\\Exp\\", progress); }),
              std::string(kPdb) + s.error);
    EXPECT_EQ(base->ReadFile(kXml), earlierXml);
    EXPECT_EQ(base->ReadFile(kCds), "earlier");
    EXPECT_EQ(base->ReadFile(kPdb), "earlier");
  }
}

}  // namespace
}  // namespace kve::palm
