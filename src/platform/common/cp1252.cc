#include "platform/common/cp1252.h"

#include <fmt/format.h>

#include <array>
#include <cstring>

namespace kve {
namespace {

// Code points of bytes 0x80..0x9F; the undefined ones map to the C1 control of the same value.
constexpr uint16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

// The UTF-8 form of each byte 0x80..0xFF: its length (2 or 3) and its bytes.
struct Utf8Form {
  uint8_t len;
  char bytes[3];
};
constexpr auto kHighUtf8 = [] {
  std::array<Utf8Form, 128> t{};
  for (uint32_t b = 0x80; b < 0x100; ++b) {
    const uint32_t cp = b < 0xA0 ? kHigh[b - 0x80] : b;
    Utf8Form& f = t[b - 0x80];
    if (cp < 0x800) {
      f = {2, {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F)), 0}};
    } else {
      f = {3,
           {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
            static_cast<char>(0x80 | (cp & 0x3F))}};
    }
  }
  return t;
}();

}  // namespace

uint32_t CodePointFromCp1252(uint8_t b) {
  return b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b;
}

int Cp1252FromCodePoint(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return 0x80 + i;
  return -1;
}

size_t DecodeUtf8(std::string_view s, size_t pos, uint32_t& cp) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t b0 = byte(pos);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t len;
  uint32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, min = 0x80, cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, min = 0x800, cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (pos + len > s.size()) return 0;
  for (size_t i = 1; i < len; ++i) {
    const uint8_t b = byte(pos + i);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    if (static_cast<uint8_t>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    uint32_t cp;
    const size_t n = DecodeUtf8(s, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

size_t AppendCp1252(std::string_view utf8, std::string& out) {
  size_t i = 0;
  while (i < utf8.size()) {
    // runs of ASCII are by far the common case
    size_t j = i;
    while (j < utf8.size() && static_cast<uint8_t>(utf8[j]) < 0x80) ++j;
    out.append(utf8.data() + i, j - i);
    i = j;
    if (i == utf8.size()) break;
    uint32_t cp;
    const size_t n = DecodeUtf8(utf8, i, cp);
    const int b = n ? Cp1252FromCodePoint(cp) : -1;
    if (b < 0) return i;
    out.push_back(static_cast<char>(b));
    i += n;
  }
  return kEncodedOk;
}

void AppendUtf8(uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf8FromCp1252(std::string_view bytes, std::string& out) {
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  // the plain ASCII start, eight bytes at a time, goes as it is: most texts are all of it
  const char* q = p;
  for (uint64_t w; end - q >= 8; q += 8) {
    std::memcpy(&w, q, 8);
    if (w & 0x8080808080808080ULL) break;
  }
  while (q < end && static_cast<uint8_t>(*q) < 0x80) ++q;
  out.append(p, static_cast<size_t>(q - p));
  if (q == end) return;
  // the rest through the table, into room for the longest form of every byte
  const size_t at = out.size();
  out.resize(at + 3 * static_cast<size_t>(end - q));
  char* o = out.data() + at;
  for (; q < end; ++q) {
    const auto c = static_cast<uint8_t>(*q);
    if (c < 0x80) {
      *o++ = static_cast<char>(c);
      continue;
    }
    const Utf8Form& f = kHighUtf8[c - 0x80];
    std::memcpy(o, f.bytes, 3);
    o += f.len;
  }
  out.resize(static_cast<size_t>(o - out.data()));
}

std::string DescribeUnencodable(std::string_view utf8, size_t offset) {
  uint32_t cp;
  if (offset < utf8.size() && DecodeUtf8(utf8, offset, cp) != 0)
    return fmt::format("character U+{:04X} has no Windows-1252 form", cp);
  return fmt::format("invalid UTF-8 byte 0x{:02X}",
                     offset < utf8.size() ? static_cast<uint8_t>(utf8[offset]) : 0);
}

}  // namespace kve
