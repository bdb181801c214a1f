// The XML packet scanner against a reference reader built on a general XML parser's document
// tree: each packet, whether our writer's or hand-written with the XML our writer never
// produces, reads as the same table both ways.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "packet_samples.h"
#include "platform/common/error.h"
#include "platform/dataset/xml_packet.h"
#include "support/xml_packet_tree_reader.h"

namespace kve {
namespace {

std::string AsXml(const TClientDataSet& ds) {
  std::string out;
  StringSink sink(out);
  WriteXmlPacket(ds, sink);
  return out;
}

// The table `reader` makes of `bytes`, written back as XML (fields, change log and every
// value), or the error.
std::string Read(std::string bytes, void (*reader)(std::string&, TClientDataSet&)) {
  TClientDataSet ds("T");
  try {
    reader(bytes, ds);
  } catch (const FormatError& e) {
    return std::string("error: ") + e.what();
  }
  return AsXml(ds);
}

const std::string kFields =
    "<METADATA><FIELDS><FIELD attrname=\"NM\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"N\" fieldtype=\"i4\"/><FIELD attrname=\"D\" fieldtype=\"dateTime\"/></FIELDS>"
    "<PARAMS CHANGE_LOG=\"2 0 4\"/></METADATA>";

// Type names as other writers of the format spell them read as ours.
TEST(XmlReader, TypeNamesAreReadWithoutRegardToCase) {
  auto packet = [](const std::string& types, const std::string& subtype) {
    return "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"D\" fieldtype=\"" + types +
           "\"/><FIELD attrname=\"S\" fieldtype=\"string\" SUBTYPE=\"" + subtype +
           "\" WIDTH=\"3\"/></FIELDS></METADATA><ROWDATA><ROW D=\"20081225T14:30:05\" S=\"ab\"/>"
           "</ROWDATA></DATAPACKET>";
  };
  auto ours = [](std::string& b, TClientDataSet& ds) { ReadXmlPacket(b, ds); };
  const std::string canonical = Read(packet("dateTime", "FixedChar"), ours);
  ASSERT_EQ(canonical.find("error"), std::string::npos) << canonical;
  EXPECT_NE(canonical.find("FixedChar"), std::string::npos);
  EXPECT_EQ(Read(packet("datetime", "fixedchar"), ours), canonical);
  EXPECT_EQ(Read(packet("DATETIME", "FIXEDCHAR"), ours), canonical);
}

TEST(XmlReader, ReadsEveryPacketAsTheTreeReaderDoes) {
  std::vector<std::pair<std::string, std::string>> packets;
  const char* source = std::getenv("KVE_SOURCE_DIR");
  ASSERT_NE(source, nullptr) << "run through ctest, which names the source folder";
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(source) / "fuzz/corpus/xml_packet")) {
    std::ifstream in(e.path(), std::ios::binary);
    packets.emplace_back(e.path().filename().string(), std::string(std::istreambuf_iterator<char>(in), {}));
  }
  TClientDataSet every;
  testing::MakeEveryType(every);
  packets.emplace_back("every type", AsXml(every));
  const std::string row = "<ROW NM=\"a\" N=\"1\"/>";
  const std::pair<const char*, std::string> written[] = {
      {"quotes, spaces, comments, instructions",
       "<?xml version='1.0' encoding='UTF-8'?>\n<!-- made by hand --><?tool x?>\n<DATAPACKET Version = '2.0' >"
       "\n  " + kFields + "\n  <ROWDATA>\n    <ROW NM = 'it&apos;s \"x\"'  N='3' />\n    <!-- c -->"
       "<?pi?><ROW\tNM=\"&lt;&amp;&gt;&quot;&#x41;&#227;&#8364;\"\nD=\"20081225T14:30:05\"></ROW >\n  </ROWDATA>"
       "</DATAPACKET >\n<!-- after -->\n"},
      {"white space in values", "\n <?xml version=\"1.0\"?><DATAPACKET>" + kFields +
                                    "<ROWDATA><ROW NM=\"a\tb\nc\r\nd\"/><ROW NM=\"&#9;&#10;&#13;\"/></ROWDATA>"
                                    "</DATAPACKET>"},
      {"content the reader passes over",
       "<DATAPACKET><X a=\"1\"><ROWDATA/></X>" + kFields + "<METADATA><FIELDS/></METADATA>"
       "<ROWDATA>" + row + "<ROW N=\"2\">text<Y><Z/></Y><![CDATA[<ROW>]]></ROW></ROWDATA><ROWDATA><ROW/></ROWDATA>"
       "</DATAPACKET>"},
      {"rows before the fields",
       "<DATAPACKET><ROWDATA><ROW NM=\"P&#195;O &amp; &#x20AC;\" N=\"-5\"/>" + row +
           "</ROWDATA>" + kFields + "</DATAPACKET>"},
      {"no rows",
       "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"N\" fieldtype=\"i4\"/></FIELDS></METADATA><ROWDATA/>"
       "</DATAPACKET>"},
      {"declared Windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?><DATAPACKET>" + kFields +
           "<ROWDATA><ROW NM=\"P\xC3O \x80\"/><ROW/></ROWDATA></DATAPACKET>"},
  };
  for (const auto& [what, bytes] : written) packets.emplace_back(what, bytes);
  for (const auto& [what, bytes] : packets) {
    const std::string ours = Read(bytes, [](std::string& b, TClientDataSet& ds) { ReadXmlPacket(b, ds); });
    EXPECT_EQ(ours.rfind("error", 0), std::string::npos) << what << ": " << ours;
    EXPECT_EQ(ours, Read(bytes, ReadXmlPacketByTree)) << what;
  }
}

}  // namespace
}  // namespace kve
