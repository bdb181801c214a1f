// Malformed packets and files: each gets a FormatError saying what is wrong, and the table
// keeps what it held.
#include <cstring>
#include <fstream>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "packet_samples.h"
#include "platform/common/error.h"
#include "platform/dataset/binary_packet.h"
#include "platform/dataset/packet_format.h"

namespace kve {
namespace {

using testing::TempFolder;

// A two-field table: "AB" string(4) = "abcd", "N" i4 = 7. Its descriptor and record offsets
// are fixed, so each case below can break one thing.
std::string GoodBinary() {
  TClientDataSet ds("T");
  ds.FieldDefs() = {StringField("AB", 4), TypedField("N", FieldType::Int32)};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("AB").SetAsString("abcd");
  ds.FieldByName("N").SetAsInteger(7);
  ds.Post();
  ds.MergeChangeLog();
  return ds.Data();
}
constexpr size_t kRecordCount = 14, kHeaderSize = 22, kWidth = 45, kTypeOfN = 51, kRecord = 59;

template <typename T>
std::string With(std::string b, size_t off, T v) {
  std::memcpy(b.data() + off, &v, sizeof v);
  return b;
}

// The text of the FormatError loading `bytes` raises, or "no error".
std::string FormatErrorOf(const std::string& bytes) {
  TClientDataSet ds;
  try {
    ds.SetData(bytes);
  } catch (const FormatError& e) {
    return e.what();
  }
  return "no error";
}

struct Bad {
  const char* what;
  std::string bytes;
  const char* message;  // expected within the error text
};

TEST(MalformedPacket, EachBinaryFaultGetsItsOwnError) {
  const std::string good = GoodBinary();
  ASSERT_EQ(good.size(), kRecord + 1 + 1 + 1 + 4 + 4);
  const Bad cases[] = {
      {"short header", good.substr(0, 12), "truncated: header needs 24 bytes at offset 0, only 12 left"},
      {"record count overrun", With<int32_t>(good, kRecordCount, 1'000'000),
       "record count 1000000 overruns the 11 bytes left"},
      {"negative record count", With<int32_t>(good, kRecordCount, -1), "negative record count -1"},
      {"header size", With<uint16_t>(good, kHeaderSize, 58), "header size 58 does not match"},
      {"string over width", With<uint16_t>(good, kWidth, 3),
       "record 1: AB: string of 4 characters is longer than its width 3"},
      {"unknown type", With<uint16_t>(good, kTypeOfN, 11), "field N: unknown type 0xB of size 4"},
      {"row state", With<uint8_t>(good, kRecord, 0x30), "record 1: invalid row state 48"},
      {"truncated record", good.substr(0, good.size() - 1), "truncated: N needs 4 bytes"},
      {"trailing bytes", good + "xy", "2 bytes after the last record"},
      {"length prefix over the end", With<uint8_t>(good, kRecord + 2, 200), "truncated: AB needs 200 bytes"},
      {"NUL in a field name", With<uint8_t>(With<uint16_t>(good, kWidth, 3), good.find("AB") + 1, 0),
       "record 1: A\\0: string of 4 characters is longer than its width 3"},
  };
  for (const Bad& c : cases) {
    TClientDataSet ds;
    try {
      ds.SetData(c.bytes);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("dataset: packet: ", 0), 0u) << e.what();
    }
  }
}

TEST(MalformedPacket, BinaryDateAndArrayCountsAreChecked) {
  TClientDataSet ds("T");
  ds.FieldDefs() = {TypedField("D", FieldType::Date)};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("D").SetAsDateTime(TDateTime::FromDate({2000, 1, 1}));
  ds.Post();  // inserted: the packet carries a CHANGE_LOG array
  const std::string good = ds.Data();
  const size_t rec = good[22] | (static_cast<uint8_t>(good[23]) << 8);
  const size_t logCount = rec - 4 * 3 - 4;  // uint32 count before the three elements
  EXPECT_NE(FormatErrorOf(With<int32_t>(good, rec + 2, 0)).find("record 1: D: date 0 out of range"),
            std::string::npos);
  EXPECT_NE(FormatErrorOf(With<uint32_t>(good, logCount, 0x40000000)).find("elements of 4 bytes overrun"),
            std::string::npos);
}

const std::string kHead =
    "<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
    "<FIELD attrname=\"NM\" fieldtype=\"string\" WIDTH=\"4\"/>"
    "<FIELD attrname=\"N\" fieldtype=\"i2\"/><FIELD attrname=\"D\" fieldtype=\"date\"/>"
    "</FIELDS><PARAMS/></METADATA><ROWDATA>";
const std::string kTail = "</ROWDATA></DATAPACKET>";

TEST(MalformedPacket, EachXmlFaultGetsItsOwnError) {
  const Bad cases[] = {
      {"not XML at all", "<DATAPACKET", "invalid XML at byte"},
      {"mismatched tags", kHead + "<ROW></ROWDATA>", "invalid XML"},
      {"wrong root", "<TABLE/>", "root element is TABLE, not DATAPACKET"},
      {"no rows element", "<DATAPACKET><METADATA><FIELDS/></METADATA></DATAPACKET>", "no ROWDATA element"},
      {"unknown type",
       "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"B\" fieldtype=\"bin.hex\"/></FIELDS></METADATA>"
       "<ROWDATA/></DATAPACKET>",
       "field B: unknown fieldtype 'bin.hex'"},
      {"duplicate field",
       "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"B\" fieldtype=\"i4\"/><FIELD attrname=\"b\" "
       "fieldtype=\"i4\"/></FIELDS></METADATA><ROWDATA/></DATAPACKET>",
       "duplicate field name b"},
      {"integer", kHead + "<ROW N=\"3x\"/>" + kTail, "row 1: N: '3x' is not a valid i2"},
      {"integer range", kHead + "<ROW/><ROW N=\"40000\"/>" + kTail, "row 2: N: '40000' is not a valid i2"},
      {"date", kHead + "<ROW D=\"20080230\"/>" + kTail, "row 1: D: '20080230' is not a valid date"},
      {"date too long", kHead + "<ROW D=\"200802281\"/>" + kTail, "row 1: D: '200802281' is not a valid date"},
      {"sign alone", kHead + "<ROW N=\"-\"/>" + kTail, "row 1: N: '-' is not a valid i2"},
      {"control character", kHead + "<ROW NM=\"a&#1;\"/>" + kTail, "row 1: NM: control character U+0001"},
      {"string over width", kHead + "<ROW NM=\"P&#195;OZ!\"/>" + kTail,
       "row 1: NM: string of 5 characters is longer than its width 4"},
      {"not Windows-1252", kHead + "<ROW NM=\"&#20013;\"/>" + kTail,
       "row 1: NM: character U+4E2D has no Windows-1252 form"},
      {"bad UTF-8", kHead + "<ROW NM=\"\xC3\"/>" + kTail, "row 1: NM: invalid UTF-8 byte 0xC3"},
      {"text among rows", kHead + "<ROW/>stray" + kTail, "text 'stray' in ROWDATA"},
      {"unknown field", kHead + "<ROW X=\"1\"/>" + kTail, "row 1: unknown field X"},
      {"row state", kHead + "<ROW RowState=\"64\"/>" + kTail, "row 1: invalid RowState 64"},
      {"odd change log", "<DATAPACKET><METADATA><FIELDS/><PARAMS CHANGE_LOG=\"1 0\"/></METADATA><ROWDATA/></DATAPACKET>",
       "CHANGE_LOG is not a list of triples"},
      {"change log past the rows",
       "<DATAPACKET><METADATA><FIELDS/><PARAMS CHANGE_LOG=\"2 0 4\"/></METADATA><ROWDATA><ROW/></ROWDATA></DATAPACKET>",
       "CHANGE_LOG names row 2 of 1"},
      {"unclosed element", kHead + "<ROW/>", "element ROWDATA is not closed"},
      {"unknown entity", kHead + "<ROW NM=\"a&nbsp;\"/>" + kTail, "unknown entity &nbsp;"},
      {"bare ampersand", kHead + "<ROW NM=\"a & b\"/>" + kTail, "'&' that starts no reference"},
      {"reference to no character", kHead + "<ROW NM=\"&#0;\"/>" + kTail, "U+0000, which is no XML character"},
      {"less-than in a value", kHead + "<ROW NM=\"a<b\"/>" + kTail, "'<' in an attribute value"},
      {"unquoted value", kHead + "<ROW N=1/>" + kTail, "attribute value not in quotes"},
      {"attributes run together", kHead + "<ROW N=\"1\"NM=\"a\"/>" + kTail, "no white space before an attribute of <ROW>"},
      {"duplicate attribute",
       "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"B\" attrname=\"C\" fieldtype=\"i4\"/></FIELDS>"
       "</METADATA><ROWDATA/></DATAPACKET>",
       "attribute attrname given twice in <FIELD>"},
      {"field twice in a row", kHead + "<ROW N=\"1\" N=\"2\"/>" + kTail, "row 1: N given twice"},
      {"row state twice", kHead + "<ROW RowState=\"4\" RowState=\"4\"/>" + kTail, "row 1: RowState given twice"},
      {"document type", "<!DOCTYPE DATAPACKET [<!ENTITY x \"y\">]>" + kHead + kTail, "document type declaration"},
      {"second root", kHead + kTail + "<DATAPACKET/>", "a second root element"},
      {"unclosed comment", kHead + "<!-- " + kTail, "comment is not closed"},
      {"encoding", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><DATAPACKET/>", "unsupported encoding 'koi8-r'"},
      {"neither form", "hello", "not a data packet (neither the binary signature nor XML)"},
  };
  for (const Bad& c : cases) {
    TClientDataSet ds("PRODUTO");
    try {
      ds.SetData(c.bytes);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("PRODUTO: packet: ", 0), 0u) << e.what();
    }
  }
}

// An XML packet of `fields` integer fields and `rows` empty rows: six bytes a row, however
// wide the table.
std::string WideXml(int fields, int rows) {
  std::string x = "<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
  for (int f = 0; f < fields; ++f) x += "<FIELD attrname=\"F" + std::to_string(f) + "\" fieldtype=\"i4\"/>";
  x += "</FIELDS><PARAMS/></METADATA><ROWDATA>";
  for (int r = 0; r < rows; ++r) x += "<ROW/>";
  return x + kTail;
}

TEST(MalformedPacket, XmlPacketsOutOfProportionToTheirBytesAreRefused) {
  // 0.68 MB that would take 1.6 GB as a table: refused at the first row past the bound, so
  // no more than the bound is ever held.
  const std::string bomb = WideXml(2000, 100000);
  const size_t rowsAllowed = packet::MaxCells(bomb.size()) / 2000;
  ASSERT_LT(rowsAllowed, 100000u);
  const struct {
    std::string bytes, message;
  } cases[] = {
      {bomb, fmt::format("{} rows of 2000 fields are out of proportion to the {} bytes of the file", rowsAllowed + 1,
                         bomb.size())},
      {WideXml(65536, 0), "more than 65535 fields"},
  };
  for (const auto& c : cases) {
    TClientDataSet ds("PRODUTO");
    try {
      ds.SetData(c.bytes);
      ADD_FAILURE() << c.message << ": no error";
    } catch (const FormatError& e) {
      EXPECT_THAT(e.what(), ::testing::StartsWith("PRODUTO: packet: " + c.message));
    }
    EXPECT_EQ(ds.FieldCount(), 0);  // nothing half-loaded
  }
}

TEST(XmlPacket, AWideTableOfAFewRowsLoadsWithinTheFloor) {
  TClientDataSet ds;
  ds.SetData(WideXml(65535, 12));
  EXPECT_EQ(ds.FieldCount(), 65535);
  EXPECT_EQ(ds.RecordCount(), 12);
}

TEST(MalformedPacket, AFailedLoadLeavesTheTableAsItWas) {
  TClientDataSet ds;
  ds.SetData(GoodBinary());
  EXPECT_THROW(ds.SetData(kHead + "<ROW N=\"x\"/>" + kTail), FormatError);
  EXPECT_EQ(ds.FieldCount(), 2);
  ds.First();
  EXPECT_EQ(ds.FieldByName("AB").AsString(), "abcd");
}

TEST(PacketFile, ErrorsNameTheFile) {
  TempFolder dir;
  const auto bad = dir / "PRODUTO.cds";
  std::ofstream(bad, std::ios::binary) << GoodBinary().substr(0, 30);
  TClientDataSet ds;
  try {
    ds.LoadFromFile(bad);
    FAIL() << "no error";
  } catch (const FormatError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(bad.string() + ": truncated", 0), 0u) << e.what();
  }
  EXPECT_THROW(ds.LoadFromFile(dir / "missing.xml"), IoError);
  ds.SetData(GoodBinary());
  EXPECT_THROW(ds.SaveToFile(dir / "no-such-folder" / "x.xml", DataPacketFormat::Xml), IoError);
}

TEST(PacketFile, AFailedSaveKeepsTheEarlierFileWhole) {
  TempFolder dir;
  const auto file = dir / "PRODUTO.xml";
  TClientDataSet ds("PRODUTO");
  ds.SetData(GoodBinary());
  ds.SaveToFile(file, DataPacketFormat::Xml);
  const auto before = std::filesystem::file_size(file);

  ds.First();
  ds.Edit();
  ds.FieldByName("AB").SetAsString("Ω");  // no Windows-1252 form
  ds.Post();
  for (auto fmt : {DataPacketFormat::Xml, DataPacketFormat::Binary}) {
    try {
      ds.SaveToFile(file, fmt);
      ADD_FAILURE() << "no error";
    } catch (const ValueError& e) {
      EXPECT_EQ(std::string(e.what()), file.string() + ": PRODUTO row 1: AB: character U+03A9 has no Windows-1252 form");
    }
  }
  EXPECT_EQ(std::filesystem::file_size(file), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  TClientDataSet back;
  back.LoadFromFile(file);
  back.First();
  EXPECT_EQ(back.FieldByName("AB").AsString(), "abcd");
}

}  // namespace
}  // namespace kve
