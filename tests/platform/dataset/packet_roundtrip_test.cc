// Both packet forms keep everything the table holds: every type, null, width, attribute and
// the change log, through memory and through files.
#include <fstream>

#include <gtest/gtest.h>

#include "packet_samples.h"
#include "platform/common/error.h"
#include "platform/dataset/binary_packet.h"
#include "platform/dataset/xml_packet.h"
#include "platform/fs/file_sink.h"

namespace kve {
namespace {

using testing::Cells;
using testing::MakeEveryType;
using testing::TempFolder;

std::string Packet(const TClientDataSet& ds, DataPacketFormat fmt) {
  std::string out;
  StringSink sink(out);
  if (fmt == DataPacketFormat::Xml)
    WriteXmlPacket(ds, sink);
  else
    WriteBinaryPacket(ds, sink);
  return out;
}

class RoundTrip : public ::testing::TestWithParam<DataPacketFormat> {};

TEST_P(RoundTrip, KeepsEveryTypeNullWidthAndAttribute) {
  TClientDataSet src;
  MakeEveryType(src);
  TClientDataSet dst("COPIA");
  dst.SetData(Packet(src, GetParam()));
  EXPECT_EQ(dst.FieldDefs(), src.FieldDefs());
  EXPECT_EQ(Cells(dst), Cells(src));
  EXPECT_EQ(dst.ChangeCount(), 0);
  EXPECT_EQ(dst.Name(), "COPIA");
}

TEST_P(RoundTrip, KeepsInsertedAndModifiedRowsInTheChangeLog) {
  TClientDataSet src("PRODUTO");
  src.FieldDefs() = {StringField("CDPRODUTO", 10), TypedField("QT", FieldType::Int32)};
  src.CreateDataSet();
  for (int i = 0; i < 4; ++i) {
    src.Append();
    src.FieldByName("CDPRODUTO").SetAsString("P" + std::to_string(i));
    src.Post();
  }
  src.MergeChangeLog();
  src.Locate("CDPRODUTO", "P1");
  src.Edit();
  src.FieldByName("QT").SetAsInteger(7);
  src.Post();
  src.Append();
  src.FieldByName("CDPRODUTO").SetAsString("NOVO");
  src.Post();

  TClientDataSet dst;
  dst.SetData(Packet(src, GetParam()));
  ASSERT_EQ(dst.StoredRowCount(), 5);
  std::vector<RowStatus> states;
  for (int r = 0; r < dst.StoredRowCount(); ++r) states.push_back(dst.Status(r));
  EXPECT_EQ(states, (std::vector<RowStatus>{RowStatus::Unchanged, RowStatus::Modified,
                                            RowStatus::Unchanged, RowStatus::Unchanged,
                                            RowStatus::Inserted}));
  EXPECT_EQ(Cells(dst), Cells(src));

  // merged, the log disappears from the packet
  dst.MergeChangeLog();
  TClientDataSet again;
  again.SetData(Packet(dst, GetParam()));
  EXPECT_EQ(again.ChangeCount(), 0);
}

TEST_P(RoundTrip, StoresRowsInIndexOrder) {
  TClientDataSet src("T");
  src.FieldDefs() = {StringField("K", 5)};
  src.CreateDataSet();
  for (const char* k : {"c", "a", "b"}) {
    src.Append();
    src.FieldByName("K").SetAsString(k);
    src.Post();
  }
  src.SetIndexFieldNames("K");
  TClientDataSet dst;
  dst.SetData(Packet(src, GetParam()));
  EXPECT_EQ(Cells(dst), (std::vector<std::vector<std::string>>{{"a"}, {"b"}, {"c"}}));
}

TEST_P(RoundTrip, GoesThroughFilesAndIsToldApartByContent) {
  TempFolder dir;
  TClientDataSet src;
  MakeEveryType(src);
  const auto file = dir / "AMOSTRA.dat";  // the extension says nothing
  src.SaveToFile(file, GetParam());
  TClientDataSet dst;
  dst.LoadFromFile(file);
  EXPECT_EQ(Cells(dst), Cells(src));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "no temporary file left behind";
}

// A file is read whole and its pages given back as the rows are read: rows past the first
// released pages, an XML packet that had to be converted to UTF-8 first (its root's start tag
// pages into the buffer, still needed at the end), and one whose rows come before its fields
// (read twice) must all arrive whole.
TEST_P(RoundTrip, LargeFilesGivenBackAsTheyAreReadArriveWhole) {
  TempFolder dir;
  TClientDataSet src("ITEM");
  src.FieldDefs() = {StringField("NMITEM", 40), TypedField("NR", FieldType::Int32)};
  src.CreateDataSet();
  for (int i = 0; i < 30000; ++i) {
    src.Append();
    src.FieldByName("NMITEM").SetAsString("ITEM " + std::to_string(i * 7919) + (i % 3 ? " AÇÚCAR" : ""));
    src.FieldByName("NR").SetAsInteger(i);
    src.Post();
  }
  src.MergeChangeLog();
  const auto file = dir / "ITEM.dat";
  src.SaveToFile(file, GetParam());
  std::vector<std::string> variants = {ReadWholeFile(file)};
  if (GetParam() == DataPacketFormat::Xml) {
    std::string declared = variants[0];
    const size_t at = declared.find(" standalone=");
    ASSERT_NE(at, std::string::npos);
    declared.insert(declared.find("<DATAPACKET"), "<!--" + std::string(10000, 'x') + "-->");
    variants.push_back(declared.insert(at, " encoding=\"windows-1252\""));
    std::string late = variants[0];
    const size_t m = late.find("<METADATA>"), r = late.find("<ROWDATA>"), end = late.find("</ROWDATA>") + 10;
    ASSERT_LT(m, r);
    variants.push_back(late.substr(0, m) + late.substr(r, end - r) + late.substr(m, r - m) + late.substr(end));
  }
  for (const std::string& bytes : variants) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    TClientDataSet dst;
    dst.LoadFromFile(file);
    EXPECT_EQ(Cells(dst), Cells(src));
  }
}

TEST_P(RoundTrip, KeepsAnEmptyTable) {
  TClientDataSet src("VAZIA");
  src.FieldDefs() = {StringField("A", 1)};
  src.CreateDataSet();
  TClientDataSet dst;
  dst.SetData(Packet(src, GetParam()));
  EXPECT_TRUE(dst.Active());
  EXPECT_EQ(dst.RecordCount(), 0);
  EXPECT_EQ(dst.FieldDefs(), src.FieldDefs());
}

TEST_P(RoundTrip, RefusesACharacterWindows1252CannotHoldNamingTableColumnAndRow) {
  TClientDataSet src("PRODUTO");
  src.FieldDefs() = {StringField("NMPRODUTO", 10)};
  src.CreateDataSet();
  for (const char* v : {"ok", "ARROZ 中"}) {
    src.Append();
    src.FieldByName("NMPRODUTO").SetAsString(v);
    src.Post();
  }
  try {
    Packet(src, GetParam());
    FAIL() << "no error";
  } catch (const ValueError& e) {
    EXPECT_STREQ(e.what(), "PRODUTO row 2: NMPRODUTO: character U+4E2D has no Windows-1252 form");
  }
}

TEST_P(RoundTrip, WritesATimeTakenFromBeforeTheScaleZeroAsATimeOfDay) {
  TClientDataSet src("T");
  src.FieldDefs() = {TypedField("H", FieldType::Time)};
  src.CreateDataSet();
  src.Append();
  src.FieldByName("H").SetAsDateTime(TDateTime::FromMs(-1));  // one ms before the zero
  src.Post();
  EXPECT_EQ(src.FieldByName("H").AsDateTime().msOfDay(), kMsPerDay - 1);
  TClientDataSet dst;
  dst.SetData(Packet(src, GetParam()));
  dst.First();
  EXPECT_EQ(dst.FieldByName("H").AsDateTime().msOfDay(), kMsPerDay - 1);
}

TEST_P(RoundTrip, RefusesToWriteAClosedTable) {
  TClientDataSet src("T");
  src.FieldDefs() = {StringField("A", 1)};
  TempFolder dir;
  EXPECT_THROW(src.SaveToFile(dir / "T.xml", GetParam()), Error);
  EXPECT_FALSE(std::filesystem::exists(dir / "T.xml"));
}

INSTANTIATE_TEST_SUITE_P(BothForms, RoundTrip,
                         ::testing::Values(DataPacketFormat::Xml, DataPacketFormat::Binary),
                         [](const auto& info) {
                           return info.param == DataPacketFormat::Xml ? "Xml" : "Binary";
                         });

TEST(DataPacket, DataIsTheBinaryForm) {
  TClientDataSet src;
  MakeEveryType(src);
  EXPECT_EQ(src.Data(), Packet(src, DataPacketFormat::Binary));
}

TEST(DataPacket, XmlAndBinaryConvertIntoEachOther) {
  TClientDataSet src;
  MakeEveryType(src);
  TClientDataSet viaXml, viaBoth;
  viaXml.SetData(Packet(src, DataPacketFormat::Xml));
  viaBoth.SetData(viaXml.Data());
  EXPECT_EQ(viaBoth.Data(), src.Data());
}

}  // namespace
}  // namespace kve
