// Feeds bytes to the binary packet reader. Whatever it accepts must save and load back to the
// same bytes; anything else must be a FormatError, never a crash or an unbounded allocation.
// A packet the export would copy to a file as it came (IsWrittenForm) must be exactly the
// file the writer makes of the table it holds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/common/error.h"
#include "platform/dataset/binary_packet.h"
#include "platform/dataset/dataset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const bool asWritten = kve::IsWrittenForm(bytes);
  kve::TClientDataSet ds("FUZZ");
  try {
    ReadBinaryPacket(bytes, ds);
  } catch (const kve::FormatError&) {
    if (asWritten) std::abort();  // passed as a file that no reader takes
    return 0;
  }
  std::string again;
  try {
    again = ds.Data();
  } catch (const kve::ValueError&) {
    if (asWritten) std::abort();
    return 0;  // a value the reader takes but a packet of ours cannot hold
  }
  if (asWritten && again != bytes) std::abort();
  kve::TClientDataSet back("FUZZ");
  back.SetData(again);  // our own output must load: a FormatError here is a bug
  if (back.Data() != again) std::abort();
  return 0;
}
