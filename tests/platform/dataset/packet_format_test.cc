// The packets' bytes as other programs see them: the binary header and records, the XML
// sample other tools write, code pages.
#include <cstring>

#include <gtest/gtest.h>

#include "packet_samples.h"
#include "platform/common/error.h"
#include "platform/common/cp1252.h"
#include "platform/dataset/xml_packet.h"

namespace kve {
namespace {

template <typename T>
T At(const std::string& b, size_t off) {
  T v;
  std::memcpy(&v, b.data() + off, sizeof v);
  return v;
}

TEST(BinaryPacket, HeaderFieldsAndRecordHaveTheDocumentedBytes) {
  TClientDataSet ds("T");
  ds.FieldDefs() = {StringField("AB", 4), TypedField("N", FieldType::Int32)};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("AB").SetAsString("ç");
  ds.Post();
  ds.MergeChangeLog();
  const std::string b = ds.Data();

  EXPECT_EQ(b.substr(0, 4), "\x96\x19\xE0\xBD");
  EXPECT_EQ(At<int32_t>(b, 4), 1);
  EXPECT_EQ(At<int32_t>(b, 8), 18);
  EXPECT_EQ(At<uint16_t>(b, 12), 2);   // fields
  EXPECT_EQ(At<int32_t>(b, 14), 1);    // records
  EXPECT_EQ(At<int32_t>(b, 18), 3);
  const std::string fields =
      std::string("\x02" "AB" "\x01\x00" "\x49\x00" "\x00\x00" "\x01\x00", 11) +
      std::string("\x05" "WIDTH" "\x02\x00" "\x02\x00" "\x04\x00", 12) +
      std::string("\x01" "N" "\x04\x00" "\x01\x00" "\x00\x00" "\x00\x00", 10) +
      std::string("\x00\x00", 2);  // no packet properties
  EXPECT_EQ(b.substr(24, fields.size()), fields);
  EXPECT_EQ(At<uint16_t>(b, 22), 24 + fields.size());
  // status 0, N null (field 1 -> bits 2-3), "ç" as one Windows-1252 byte
  EXPECT_EQ(b.substr(24 + fields.size()), std::string("\x00\x04\x01\xE7", 4));
}

TEST(BinaryPacket, DatesTimesAndTimestampsUseTheDayAndMillisecondScales) {
  TClientDataSet ds("T");
  ds.FieldDefs() = {TypedField("D", FieldType::Date), TypedField("H", FieldType::Time),
                    TypedField("S", FieldType::DateTime)};
  ds.CreateDataSet();
  ds.Append();
  const TDateTime t = TDateTime::FromDate({1899, 12, 30}, {0, 0, 1, 500});
  ds.FieldByName("D").SetAsDateTime(t);
  ds.FieldByName("H").SetAsDateTime(t);
  ds.FieldByName("S").SetAsDateTime(t);
  ds.Post();
  const std::string b = ds.Data();
  const size_t rec = At<uint16_t>(b, 22);
  EXPECT_EQ(At<uint8_t>(b, rec), 4);  // inserted
  EXPECT_EQ(At<int32_t>(b, rec + 2), 693594);
  EXPECT_EQ(At<int32_t>(b, rec + 6), 1500);
  EXPECT_EQ(At<double>(b, rec + 10), 693594.0 * 86'400'000 + 1500);
}

// The sample as another tool writes it: whitespace between elements, a hidden field.
constexpr char kSample[] = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="CDFILIAL" fieldtype="string" WIDTH="4"/>
<FIELD attrname="IDLANCMTO" fieldtype="string" SUBTYPE="FixedChar" WIDTH="1" readonly="true"/>
<FIELD attrname="CDSENHAOPE" fieldtype="string" WIDTH="20"><PARAM Name="PROVFLAGS" Value="11" Type="i4" Roundtrip="True"/></FIELD>
<FIELD attrname="DTEFETIVO" fieldtype="dateTime"/>
<FIELD attrname="PRODUTONRO" fieldtype="i4"/>
</FIELDS><PARAMS/></METADATA>
<ROWDATA><ROW CDFILIAL="0001" DTEFETIVO="20081225T00:00:00000" PRODUTONRO="3"/></ROWDATA></DATAPACKET>)";

TEST(XmlPacket, ReadsTheDocumentedSample) {
  TClientDataSet ds;
  ds.SetData(kSample);
  ASSERT_EQ(ds.FieldCount(), 5);
  const FieldDef& id = ds.FieldDefs()[1];
  EXPECT_TRUE(id.fixed && id.readOnly && id.size == 1);
  EXPECT_TRUE(ds.FieldDefs()[2].hidden());
  EXPECT_EQ(ds.FieldDefs()[2].providerFlags, 11u);
  EXPECT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(ds.FieldByName("CDFILIAL").AsString(), "0001");
  EXPECT_TRUE(ds.FieldByName("IDLANCMTO").IsNull());
  EXPECT_EQ(ds.FieldByName("DTEFETIVO").AsDateTime(), TDateTime::FromDate({2008, 12, 25}));
  EXPECT_EQ(ds.FieldByName("PRODUTONRO").AsInteger(), 3);
}

TEST(XmlPacket, WritesPureAsciiWithTheDocumentedLayout) {
  TClientDataSet ds("T");
  FieldDef fixed = StringField("CD", 2);
  fixed.fixed = true;
  ds.FieldDefs() = {fixed, TypedField("DT", FieldType::DateTime), TypedField("OK", FieldType::Boolean),
                    TypedField("VR", FieldType::Float)};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("CD").SetAsString("ã<");
  ds.FieldByName("DT").SetAsDateTime(TDateTime::FromDate({2008, 12, 25}, {14, 30, 5, 123}));
  ds.FieldByName("OK").SetAsBoolean(true);
  ds.FieldByName("VR").SetAsFloat(2.5);
  ds.Post();
  std::string out;
  StringSink sink(out);
  WriteXmlPacket(ds, sink);
  EXPECT_EQ(out,
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
            "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
            "<FIELD attrname=\"CD\" fieldtype=\"string\" SUBTYPE=\"FixedChar\" WIDTH=\"2\"/>"
            "<FIELD attrname=\"DT\" fieldtype=\"dateTime\"/>"
            "<FIELD attrname=\"OK\" fieldtype=\"boolean\"/>"
            "<FIELD attrname=\"VR\" fieldtype=\"r8\"/>"
            "</FIELDS><PARAMS CHANGE_LOG=\"1 0 4\"/></METADATA><ROWDATA>"
            "<ROW RowState=\"4\" CD=\"&#227;&lt;\" DT=\"20081225T14:30:05123\" OK=\"TRUE\" VR=\"2.5\"/>"
            "</ROWDATA></DATAPACKET>");
}

TEST(XmlPacket, ReadsUtf8AndDeclaredSingleByteEncodings) {
  const std::string body =
      "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"NM\" fieldtype=\"string\" "
      "WIDTH=\"10\"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW NM=\"";
  const std::string tail = "\"/></ROWDATA></DATAPACKET>";
  struct Case {
    std::string decl, text;
  } cases[] = {
      {"<?xml version=\"1.0\"?>", "P\xC3\x83O \xE2\x82\xAC"},                          // UTF-8
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "P\xC3\x83O \xE2\x82\xAC"},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>", "P\xC3O \x80"},
      {"<?xml version='1.0' encoding='ISO-8859-1'?>", "P\xC3O \x80"},
  };
  for (const Case& c : cases) {
    TClientDataSet ds;
    ds.SetData(c.decl + body + c.text + tail);
    EXPECT_EQ(ds.FieldByName("NM").AsString(), "PÃO €") << c.decl;
  }
}

TEST(Cp1252, EveryByteSurvivesDecodeAndEncode) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  std::string utf8, back;
  AppendUtf8FromCp1252(bytes, utf8);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(AppendCp1252(utf8, back), kEncodedOk);
  EXPECT_EQ(back, bytes);
}

TEST(Cp1252, ReportsWhereAndWhyATextCannotBeEncoded) {
  std::string out;
  EXPECT_EQ(AppendCp1252("a€b中", out), 5u);
  EXPECT_EQ(out, "a\x80" "b");
  EXPECT_EQ(DescribeUnencodable("a€b中", 5), "character U+4E2D has no Windows-1252 form");
  out.clear();
  EXPECT_EQ(AppendCp1252("ab\xC3", out), 2u);  // truncated sequence
  EXPECT_EQ(DescribeUnencodable("ab\xC3", 2), "invalid UTF-8 byte 0xC3");
  out.clear();
  EXPECT_EQ(AppendCp1252("\xC0\xAF", out), 0u);  // overlong '/'
}

}  // namespace
}  // namespace kve
