#pragma once
// What kve-inspect prints about a data packet: its header, its fields, its rows, as text,
// JSON or CSV. Kept here, apart from the program, so it is tested without running it.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/dataset/dataset.h"

namespace kve {

enum class InspectFormat { Text, Json, Csv };

struct InspectOptions {
  InspectFormat format = InspectFormat::Text;
  int64_t head = -1;  // rows to print; negative: all
};

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

// Prints `ds` (loaded from `name`) as `opts` says.
void PrintDataPacket(std::ostream& out, std::string_view name, const PacketHeader& header,
                     const TClientDataSet& ds, const InspectOptions& opts);

// A value as inspect shows it: dates "yyyy-mm-dd", times "hh:nn:ss.zzz", booleans
// "true"/"false", numbers with a point. REQUIRES: not null.
std::string InspectValue(RowView row, int i, const FieldDef& def);

}  // namespace kve
