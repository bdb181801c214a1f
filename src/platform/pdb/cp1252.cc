#include "platform/pdb/cp1252.h"

#include <cstdint>

namespace kve::pdb {
namespace {

// Code points of bytes 0x80..0x9F; the undefined ones keep their own number.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int EncodeHigh(char32_t cp) {
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return 0x80 + i;
  return -1;
}

void PutUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

bool AppendCp1252(std::string_view s, std::string& out, std::string* bad) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    // runs of ASCII are the common case: copy them in one go
    size_t j = i;
    while (j < n && static_cast<unsigned char>(s[j]) < 0x80) ++j;
    out.append(s.data() + i, j - i);
    i = j;
    if (i == n) break;
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t len = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
      len = 2;
      cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
      len = 3;
      cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
      len = 4;
      cp = b0 & 0x07;
    }
    bool ok = len != 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    // overlong forms would smuggle ASCII (a NUL, say) past the checks above
    if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)))
      ok = false;
    int byte = -1;
    if (ok) byte = cp >= 0xA0 && cp <= 0xFF ? static_cast<int>(cp) : EncodeHigh(cp);
    if (byte < 0) {
      if (bad) *bad = std::string(s.substr(i, ok ? len : 1));
      return false;
    }
    out += static_cast<char>(byte);
    i += len;
  }
  return true;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80)
      out += c;
    else if (b < 0xA0)
      PutUtf8(kHigh[b - 0x80], out);
    else
      PutUtf8(b, out);
  }
  return out;
}

}  // namespace kve::pdb
