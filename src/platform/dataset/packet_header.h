#pragma once
// Telling a data packet by its content and reading its header without loading it: what the
// export's summary counts rows with, and what kve-inspect shows above a packet's fields.

#include <cstdint>
#include <string>
#include <string_view>

namespace kve {

// The header of a packet, read without loading it.
struct PacketHeader {
  std::string form;      // "binary data packet" or "XML data packet"
  std::string version;   // binary: "1/18/3" (the header's three version words); XML: Version
  std::string encoding;  // XML: declared encoding ("" when none); binary: "windows-1252"
  int64_t fieldCount = -1;   // as the binary header says; -1 for XML
  int64_t recordCount = -1;  // as the binary header says; -1 for XML
  int64_t headerSize = -1;   // binary only
};

// Whether the bytes are a data packet of either form (by content).
bool IsDataPacket(std::string_view bytes);
// REQUIRES: IsDataPacket(bytes). Raises FormatError when even the header is unreadable.
PacketHeader ReadPacketHeader(std::string_view bytes);

}  // namespace kve
