// Feeds bytes to the XML packet reader. Whatever it accepts must save as XML and load back
// to the same table; anything else must be a FormatError, never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/common/error.h"
#include "platform/dataset/dataset.h"
#include "platform/dataset/xml_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  kve::TClientDataSet ds("FUZZ");
  try {
    ReadXmlPacket(bytes, ds);
  } catch (const kve::FormatError&) {
    return 0;
  }
  std::string xml;
  kve::StringSink sink(xml);
  try {
    WriteXmlPacket(ds, sink);
  } catch (const kve::ValueError&) {
    return 0;  // e.g. a field name no XML name can carry, read from an attrname
  }
  kve::TClientDataSet back("FUZZ");
  back.SetData(xml);  // our own output must load: a FormatError here is a bug
  std::string again;
  kve::StringSink againSink(again);
  WriteXmlPacket(back, againSink);
  if (again != xml) std::abort();
  return 0;
}
