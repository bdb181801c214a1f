// Feeds bytes to the XML packet reader. Whatever it accepts, the reference reader (a general
// XML parser's document tree) must accept too and read as the same table, and the table must
// save as XML and load back to the same table; anything else must be a FormatError, never a
// crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/common/error.h"
#include "platform/dataset/dataset.h"
#include "platform/dataset/xml_packet.h"
#include "support/xml_packet_tree_reader.h"

namespace {

// The table as XML, or the writer's complaint (e.g. a field name no XML name can carry, read
// from an attrname).
std::string AsXml(const kve::TClientDataSet& ds, bool& ok) {
  std::string xml;
  kve::StringSink sink(xml);
  try {
    WriteXmlPacket(ds, sink);
    ok = true;
  } catch (const kve::ValueError& e) {
    ok = false;
    return e.what();
  }
  return xml;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string copy = bytes;
  kve::TClientDataSet ds("FUZZ");
  try {
    ReadXmlPacket(bytes, ds);
  } catch (const kve::FormatError&) {
    return 0;
  }
  kve::TClientDataSet tree("FUZZ");
  ReadXmlPacketByTree(copy, tree);  // a FormatError here: accepted what the reference refuses
  bool ok = false, treeOk = false;
  const std::string xml = AsXml(ds, ok);
  if (AsXml(tree, treeOk) != xml || ok != treeOk) std::abort();
  if (!ok) return 0;
  kve::TClientDataSet back("FUZZ");
  back.SetData(xml);  // our own output must load: a FormatError here is a bug
  std::string again;
  kve::StringSink againSink(again);
  WriteXmlPacket(back, againSink);
  if (again != xml) std::abort();
  return 0;
}
