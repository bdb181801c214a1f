#pragma once
// What kve-inspect prints about a data packet: its header, its fields, its rows, as text,
// JSON or CSV. Kept apart from the program, so it is tested without running it.

#include <cstdint>
#include <ostream>
#include <string_view>

#include "platform/dataset/dataset.h"
#include "platform/dataset/packet_header.h"

namespace kve {

enum class InspectFormat { Text, Json, Csv };

struct InspectOptions {
  InspectFormat format = InspectFormat::Text;
  int64_t head = -1;  // rows to print; negative: all
};

// Prints `ds` (loaded from `name`) as `opts` says.
void PrintDataPacket(std::ostream& out, std::string_view name, const PacketHeader& header,
                     const TClientDataSet& ds, const InspectOptions& opts);

}  // namespace kve
