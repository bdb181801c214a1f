#pragma once
// Record bytes written straight into a record under way, for bulk conversions that skip the
// per-field setters (TPDBPocketStudio::PostEncoded).

#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/pdb/pdb_format.h"

namespace kve::pdb {

// Writes the Windows-1252 form of `utf8` and its terminating NUL at `out` (at most
// utf8.size() + 1 bytes: no character takes more bytes in Windows-1252 than in UTF-8) and
// returns the end; nullptr when a character has no Windows-1252 form or is a NUL, which the
// field setter reports.
char* EncodeText(std::string_view utf8, char* out);

inline char* EncodeDouble(double d, char* p) {
  uint64_t bits = 0;
  std::memcpy(&bits, &d, 8);
  PutU32(p, static_cast<uint32_t>(bits >> 32));
  PutU32(p + 4, static_cast<uint32_t>(bits));
  return p + 8;
}

}  // namespace kve::pdb
