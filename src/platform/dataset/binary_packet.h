#pragma once
// The binary data packet (".cds" files and table images on the wire). Layout: a 24-byte
// header, field descriptors, packet properties, then one record per row; all integers
// little-endian.

#include <functional>
#include <string_view>

#include "platform/dataset/dataset.h"
#include "platform/dataset/packet_sink.h"

namespace kve {

// Writes the whole table (rows in storage order, change log included). Raises ValueError
// naming the table, column and row for a value the packet cannot hold (a character outside
// Windows-1252, a string over its width, a date out of range), and whatever the sink raises.
void WriteBinaryPacket(const TClientDataSet& ds, ByteSink& sink);

// Replaces `into`'s fields and rows with the packet's. Raises FormatError saying what is
// wrong (without the source's name: the caller adds it). `into` may be left half-filled on
// error, so load into a scratch table.
// `consumed`, when given, is told now and then how many leading bytes the reader is done with
// and will not look at again (so a caller may release them).
void ReadBinaryPacket(std::string_view bytes, TClientDataSet& into,
                      const std::function<void(size_t)>& consumed = {});

}  // namespace kve
