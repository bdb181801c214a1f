// What kve-inspect prints: header, fields and rows in the three forms.
#include "inspect/packet_print.h"

#include <sstream>

#include <gtest/gtest.h>

#include "platform/common/error.h"

namespace kve {
namespace {

void MakeSmall(TClientDataSet& ds) {
  ds.SetName("T");
  FieldDef cd = StringField("CD", 10);
  cd.fixed = true;
  cd.providerFlags = pfHidden;
  ds.FieldDefs() = {cd, TypedField("DT", FieldType::DateTime), TypedField("OK", FieldType::Boolean)};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("CD").SetAsString("a,\"b\"\n");
  ds.FieldByName("DT").SetAsDateTime(TDateTime::FromDate({2008, 12, 25}, {14, 30, 5, 7}));
  ds.Post();
  ds.MergeChangeLog();
  ds.Append();
  ds.FieldByName("OK").SetAsBoolean(true);
  ds.Post();
}

std::string Print(const TClientDataSet& ds, InspectFormat f, int64_t head = -1) {
  std::ostringstream out;
  PrintDataPacket(out, "T.cds", ReadPacketHeader(ds.Data()), ds, InspectOptions{f, head});
  return out.str();
}

TEST(Inspect, PrintsHeaderFieldsAndRowsAsText) {
  TClientDataSet ds;
  MakeSmall(ds);
  EXPECT_EQ(Print(ds, InspectFormat::Text),
            "T.cds: binary data packet, version 1/18/3, encoding windows-1252, header 142 bytes\n"
            "fields: 3\n"
            "    1 CD                   string       10  fixed, hidden, provflags=8\n"
            "    2 DT                   dateTime         \n"
            "    3 OK                   boolean          \n"
            "rows: 2\n"
            "a,\"b\"\n | 2008-12-25 14:30:05.007 | <null>\n"
            "<null> | <null> | true  (inserted)\n");
}

TEST(Inspect, JsonEscapesTextsAndWritesNullsAndNumbersBare) {
  TClientDataSet ds;
  MakeSmall(ds);
  const std::string json = Print(ds, InspectFormat::Json, 1);
  EXPECT_NE(json.find("\"rowCount\":2"), std::string::npos);
  EXPECT_NE(json.find("{\"CD\":\"a,\\\"b\\\"\\n\",\"DT\":\"2008-12-25 14:30:05.007\",\"OK\":null}"),
            std::string::npos)
      << json;
  EXPECT_EQ(json.find("true"), std::string::npos) << "--head 1 prints one row";
}

TEST(Inspect, CsvQuotesWhatNeedsQuotingAndLeavesNullsEmpty) {
  TClientDataSet ds;
  MakeSmall(ds);
  EXPECT_EQ(Print(ds, InspectFormat::Csv),
            "CD,DT,OK\r\n"
            "\"a,\"\"b\"\"\n\",2008-12-25 14:30:05.007,\r\n"
            ",,true\r\n");
}

TEST(Inspect, ReadsTheXmlHeaderWithoutLoading) {
  const PacketHeader h = ReadPacketHeader(
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?><DATAPACKET Version=\"2.0\"><broken");
  EXPECT_EQ(h.form, "XML data packet");
  EXPECT_EQ(h.version, "2.0");
  EXPECT_EQ(h.encoding, "windows-1252");
  EXPECT_TRUE(IsDataPacket("  \n<x/>"));
  EXPECT_FALSE(IsDataPacket("PK\x03\x04"));
  EXPECT_THROW(ReadPacketHeader("\x96\x19\xE0\xBD\x01"), FormatError);
}

}  // namespace
}  // namespace kve
