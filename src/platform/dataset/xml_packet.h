#pragma once
// The XML data packet (".xml" files): DATAPACKET > METADATA (FIELDS, PARAMS) and ROWDATA, one
// ROW element per row with a value attribute per non-null field.

#include <functional>
#include <string>

#include "platform/dataset/dataset.h"
#include "platform/dataset/packet_sink.h"

namespace kve {

// Writes the whole table as pure ASCII XML: characters above 127 become decimal character
// references. Raises ValueError naming the table, column and row for a value the packet
// cannot hold (a character outside Windows-1252, a control character XML forbids, a date
// out of range) and for a field name that is no XML name.
void WriteXmlPacket(const TClientDataSet& ds, ByteSink& sink);

// Replaces `into`'s fields and rows with the packet's. Accepts UTF-8 and a declared
// windows-1252 or ISO-8859-1 encoding. `buffer` is parsed in place (and so changed). Raises
// FormatError saying what is wrong, without the source's name; `into` may be left
// half-filled, so load into a scratch table.
// `done`, when given, is told now and then of a range [from, to) of `buffer` (as it is then:
// it may have been replaced by its UTF-8 form) that the reader will not look at again, so a
// caller may release it.
void ReadXmlPacket(std::string& buffer, TClientDataSet& into,
                   const std::function<void(size_t from, size_t to)>& done = {});

}  // namespace kve
