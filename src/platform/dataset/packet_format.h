#pragma once
// Constants and small helpers shared by the XML and binary data packet readers and writers.
//
// Change log in both forms: a row inserted and not merged is stored with state 4, a modified
// row with state 8. The table keeps no original of a modified row, so none is written: a
// modified row stands alone, and its change-log triple reads "position 0 8" (no original row).
// Readers accept original (1) and deleted (2) rows from other producers and drop them, since
// neither is a current row of the table.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/dataset/dataset.h"

namespace kve::packet {

// ---- binary form
inline constexpr uint8_t kSignature[4] = {0x96, 0x19, 0xE0, 0xBD};
inline constexpr size_t kHeaderSize = 24;
// The header's 16-bit "offset of the first record" cannot hold a larger offset (a long change
// log); then it holds 0xFFFF and the records follow the packet properties.
inline constexpr uint16_t kHeaderSizeOverflow = 0xFFFF;

enum TypeCode : uint16_t {
  kInt = 1,
  kUInt = 2,
  kBool = 3,
  kFloat = 4,
  kDate = 6,
  kTime = 7,
  kTimestamp = 8,
  kString = 9,
  kBytes = 11,
  kVarying = 0x40,
  kArray = 0x80,
  kBaseMask = 0x3F,
};

enum FieldAttr : uint16_t { kAttrHidden = 1, kAttrReadOnly = 2, kAttrRequired = 4 };

inline bool IsBinaryPacket(std::string_view bytes) {
  return bytes.size() >= 4 && static_cast<uint8_t>(bytes[0]) == kSignature[0] &&
         static_cast<uint8_t>(bytes[1]) == kSignature[1] &&
         static_cast<uint8_t>(bytes[2]) == kSignature[2] &&
         static_cast<uint8_t>(bytes[3]) == kSignature[3];
}

// The header and field descriptors WriteBinaryPacket writes for a table of `rows` plain rows
// (no change log). Raises ValueError for fields a packet cannot describe.
std::string BinaryPacketHead(const std::vector<FieldDef>& defs, size_t rows);

// ---- both forms

// Maps a stored row state to the table's. Returns false when `code` is no valid state.
// Sets `keep` to false for rows that are not current rows (originals, deletions).
bool DecodeRowState(unsigned code, RowStatus& status, bool& keep);
inline unsigned RowStateCode(RowStatus s) {  // 0, 4 or 8
  return s == RowStatus::Inserted ? 4 : s == RowStatus::Modified ? 8 : 0;
}

// Day numbers a date may take: 0001-01-01 .. 9999-12-31.
inline constexpr int32_t kFirstDay = 1;
inline constexpr int32_t kLastDay = 3652059;
inline constexpr int64_t kLastMs = (int64_t{kLastDay} + 1) * kMsPerDay - 1;

// The milliseconds of the day a time field holds, in [0, kMsPerDay): a time set from a
// date-time before the scale's zero is stored negative.
inline int32_t TimeOfDayMs(int64_t stored) {
  const int64_t ms = stored % kMsPerDay;
  return static_cast<int32_t>(ms < 0 ? ms + kMsPerDay : ms);
}

// "PREVRETI row 12: NMPRODUTO" for writer errors (row 1-based in packet order).
std::string CellContext(const TClientDataSet& ds, int row, int field);

// Whether `name` can be an XML attribute name of a row (ASCII letters, digits, '_', '-', '.').
bool IsXmlRowName(std::string_view name);

// ---- what reading a file may cost
//
// A table read from a file must cost memory in proportion to the file. A row keeps 8 bytes a
// field however little the file spends on it, and an empty row takes a few bytes in any form,
// so a small file of many fields and many empty rows would otherwise fill the memory.

// The binary form counts fields in 16 bits; no form may hold more.
inline constexpr size_t kMaxFields = 65535;

// The cells (rows x fields, a table without fields counting one a row) a table read from
// `fileBytes` bytes may hold: 16 a byte of the file, far more than any export writes (a
// written cell takes some bytes, a null one of a row that holds anything is rare), and at
// least a million, so that a small file may hold a few rows of a wide table.
size_t MaxCells(size_t fileBytes);

// Raises FormatError when `rows` rows of `fields` fields are more than MaxCells(fileBytes).
void CheckCells(int64_t rows, size_t fields, size_t fileBytes);

// Field names met so far, compared without regard to case: one pass over a packet's fields,
// however many there are.
class FieldNames {
 public:
  // Raises FormatError for a name met before.
  void Add(std::string_view name);

 private:
  std::unordered_set<std::string> seen_;
};

// ---- reading the XML form (the product's scanner and the tests' reference reader alike)

// Brings a packet to UTF-8: drops a byte-order mark and converts a declared windows-1252,
// ISO-8859-1 or ASCII packet. Raises FormatError for UTF-16 and any other encoding.
void XmlPacketToUtf8(std::string& buffer);

// Whether the whole of `s` is a decimal integer in [lo, hi]; sets `out` if so.
bool ParseInteger(std::string_view s, int64_t lo, int64_t hi, int64_t& out);

// The field type a FIELD's fieldtype names; FormatError naming `field` for any other.
FieldType XmlFieldType(std::string_view fieldtype, std::string_view field);

// PARAMS CHANGE_LOG: triples of (position, original, state); returns position -> state.
std::unordered_map<int64_t, unsigned> ParseChangeLog(std::string_view s);

}  // namespace kve::packet
