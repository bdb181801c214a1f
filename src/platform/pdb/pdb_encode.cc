#include "platform/pdb/pdb_encode.h"

#include <bit>

#include "platform/common/cp1252.h"

namespace kve::pdb {
namespace {

constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;

// A byte that is ASCII other than NUL stands for itself in Windows-1252.
bool Plain(char c) { return static_cast<unsigned char>(c) - 1u < 0x7Fu; }

}  // namespace

char* EncodeText(std::string_view utf8, char* out) {
  const char* p = utf8.data();
  const char* const end = p + utf8.size();
  while (p < end) {
    // Plain runs are copied eight bytes at a time: a high bit, or the borrow out of a NUL
    // byte, sets a high bit, and the lowest flagged byte is the first that is not plain.
    // `out` never runs ahead of `p`, so a whole word always has room.
    for (uint64_t w; end - p >= 8;) {
      std::memcpy(&w, p, 8);
      std::memcpy(out, &w, 8);
      const uint64_t flagged = ((w - kOnes) | w) & kHigh;
      if (flagged == 0) {
        p += 8;
        out += 8;
        continue;
      }
      if constexpr (std::endian::native == std::endian::little) {
        const auto plain = static_cast<size_t>(__builtin_ctzll(flagged) / 8);
        p += plain;
        out += plain;
      }
      break;
    }
    while (p < end && Plain(*p)) *out++ = *p++;
    if (p == end) break;
    const auto c = static_cast<unsigned char>(p[0]);
    const auto next = p + 1 < end ? static_cast<unsigned char>(p[1]) : 0u;
    if (c == 0xC3 && (next & 0xC0) == 0x80) {  // U+00C0..U+00FF, the usual accented letters
      *out++ = static_cast<char>(0xC0 | (next & 0x3F));
      p += 2;
      continue;
    }
    if (c == 0xC2 && next >= 0xA0 && next <= 0xBF) {  // U+00A0..U+00BF
      *out++ = static_cast<char>(next);
      p += 2;
      continue;
    }
    uint32_t cp = 0;
    const size_t len = DecodeUtf8(utf8, static_cast<size_t>(p - utf8.data()), cp);
    const int b = len == 0 ? -1 : Cp1252FromCodePoint(cp);
    if (b <= 0) return nullptr;  // unencodable, or a NUL that would end the text early
    *out++ = static_cast<char>(b);
    p += len;
  }
  *out = '\0';
  return out + 1;
}

}  // namespace kve::pdb
