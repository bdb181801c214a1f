#pragma once
// Layout of a Palm OS database file (".pdb") as this program writes and reads it. All
// integers are big-endian.
//
//   header (78 bytes)   name[32] attributes:2 version:2 created:4 modified:4 backup:4
//                       modnum:4 appinfo:4 sortinfo:4 type[4] creator[4] seed:4 next:4 count:2
//   record list         count x (offset:4 attributes:1 uniqueid:3), then 2 zero bytes
//   AppInfo             the field description: count:2, per field type:1 size:2 name NUL
//   records             in order, each the fields in order (see EncodedWidth)
//
// The field description and the record encoding are this program's own; the handheld
// application and kve-inspect read them, so change them only on purpose.

#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/dataset/datetime.h"

namespace kve::pdb {

inline constexpr size_t kHeaderSize = 78;
inline constexpr size_t kNameSize = 32;  // 31 characters and a NUL at least
inline constexpr size_t kRecordEntrySize = 8;
inline constexpr size_t kListGap = 2;  // the two zero bytes after the record list
inline constexpr int kMaxRecords = 65535;
inline constexpr uint8_t kNoType = 255;  // a field without a PS type takes no bytes

// Header field offsets.
inline constexpr size_t kOffCreated = 36;
inline constexpr size_t kOffModified = 40;
inline constexpr size_t kOffBackup = 44;
inline constexpr size_t kOffModNumber = 48;
inline constexpr size_t kOffAppInfo = 52;
inline constexpr size_t kOffSortInfo = 56;
inline constexpr size_t kOffType = 60;
inline constexpr size_t kOffCreator = 64;
inline constexpr size_t kOffSeed = 68;
inline constexpr size_t kOffNextList = 72;
inline constexpr size_t kOffCount = 76;

// Seconds between 1904-01-01 (the Palm's epoch) and 1970-01-01.
inline constexpr int64_t kPalmToUnixSeconds = 2082844800;

// Palm DateType: ((year - 1904) << 9) | (month << 5) | day; 0 means "no date". Years 1904 to
// 2031 fit its seven bits.
inline constexpr int kFirstPalmYear = 1904;
inline constexpr int kLastPalmYear = 1904 + 127;

inline bool FitsDateType(CivilDate d) {
  return d.year >= kFirstPalmYear && d.year <= kLastPalmYear;
}
inline uint16_t ToDateType(CivilDate d) {  // REQUIRES: FitsDateType(d), a valid date
  return static_cast<uint16_t>(((d.year - kFirstPalmYear) << 9) | (d.month << 5) | d.day);
}
inline CivilDate FromDateType(uint16_t v) {
  return CivilDate{kFirstPalmYear + (v >> 9), (v >> 5) & 0x0F, v & 0x1F};
}

// Seconds since 1904-01-01 00:00 of a point on the table's date-time scale (clamped to the
// field's 32 bits).
inline uint32_t ToPalmSeconds(TDateTime t) {
  const int64_t epochMs = int64_t{DayNumber(CivilDate{1904, 1, 1})} * kMsPerDay;
  const int64_t s = (t.ms() - epochMs) / 1000;
  return s < 0 ? 0 : s > int64_t{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(s);
}
inline TDateTime FromPalmSeconds(uint32_t s) {
  const int64_t epochMs = int64_t{DayNumber(CivilDate{1904, 1, 1})} * kMsPerDay;
  return TDateTime::FromMs(epochMs + int64_t{s} * 1000);
}

inline void PutU16(char* p, uint16_t v) {
  p[0] = static_cast<char>(v >> 8);
  p[1] = static_cast<char>(v);
}
inline void PutU32(char* p, uint32_t v) {
  p[0] = static_cast<char>(v >> 24);
  p[1] = static_cast<char>(v >> 16);
  p[2] = static_cast<char>(v >> 8);
  p[3] = static_cast<char>(v);
}
inline uint16_t GetU16(const char* p) {
  return static_cast<uint16_t>((static_cast<unsigned char>(p[0]) << 8) |
                               static_cast<unsigned char>(p[1]));
}
inline uint32_t GetU32(const char* p) {
  return (uint32_t{static_cast<unsigned char>(p[0])} << 24) |
         (uint32_t{static_cast<unsigned char>(p[1])} << 16) |
         (uint32_t{static_cast<unsigned char>(p[2])} << 8) | static_cast<unsigned char>(p[3]);
}

}  // namespace kve::pdb
