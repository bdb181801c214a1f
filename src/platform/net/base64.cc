#include "platform/net/base64.h"

#include <array>
#include <cstdint>

#include "platform/common/error.h"

namespace kve {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kBad = 0xFF;

constexpr std::array<uint8_t, 256> MakeDecodeTable() {
  std::array<uint8_t, 256> t{};
  for (auto& v : t) v = kBad;
  for (int i = 0; i < 64; ++i) t[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
  return t;
}
constexpr std::array<uint8_t, 256> kDecode = MakeDecodeTable();

[[noreturn]] void BadChar(size_t at) {
  throw FormatError("base64: invalid character at offset " + std::to_string(at));
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  Base64EncodeTo(out, bytes);
  return out;
}

void Base64EncodeTo(std::string& out, std::string_view bytes) {
  size_t at = out.size();
  out.resize(at + (bytes.size() + 2) / 3 * 4, '=');
  const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
  char* o = out.data() + at;
  size_t n = bytes.size() / 3 * 3;
  for (size_t i = 0; i < n; i += 3, o += 4) {
    uint32_t v = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    o[0] = kAlphabet[v >> 18];
    o[1] = kAlphabet[(v >> 12) & 63];
    o[2] = kAlphabet[(v >> 6) & 63];
    o[3] = kAlphabet[v & 63];
  }
  size_t rest = bytes.size() - n;
  if (rest > 0) {
    uint32_t v = uint32_t{in[n]} << 16;
    if (rest == 2) v |= uint32_t{in[n + 1]} << 8;
    o[0] = kAlphabet[v >> 18];
    o[1] = kAlphabet[(v >> 12) & 63];
    if (rest == 2) o[2] = kAlphabet[(v >> 6) & 63];
  }
}

std::string Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0)
    throw FormatError("base64: length " + std::to_string(text.size()) +
                      " is not a multiple of 4");
  if (text.empty()) return {};
  size_t pad = 0;
  if (text.back() == '=') pad = text[text.size() - 2] == '=' ? 2 : 1;
  std::string out(text.size() / 4 * 3 - pad, '\0');
  const auto* in = reinterpret_cast<const uint8_t*>(text.data());
  auto* o = reinterpret_cast<uint8_t*>(out.data());
  size_t full = text.size() - (pad ? 4 : 0);
  for (size_t i = 0; i < full; i += 4, o += 3) {
    uint8_t a = kDecode[in[i]], b = kDecode[in[i + 1]], c = kDecode[in[i + 2]],
            d = kDecode[in[i + 3]];
    if ((a | b | c | d) & 0xC0) {  // a bad character is 0xFF
      for (size_t k = i;; ++k)
        if (kDecode[in[k]] == kBad) BadChar(k);
    }
    uint32_t v = (uint32_t{a} << 18) | (uint32_t{b} << 12) | (uint32_t{c} << 6) | d;
    o[0] = static_cast<uint8_t>(v >> 16);
    o[1] = static_cast<uint8_t>(v >> 8);
    o[2] = static_cast<uint8_t>(v);
  }
  if (pad) {
    size_t i = full;
    size_t used = 4 - pad;  // significant characters of the last quad
    uint32_t v = 0;
    for (size_t k = 0; k < used; ++k) {
      uint8_t d = kDecode[in[i + k]];
      if (d == kBad) BadChar(i + k);
      v |= uint32_t{d} << (18 - 6 * k);
    }
    // Bits below the last whole byte must be zero, or two texts would decode alike.
    uint32_t spare = pad == 2 ? (v & 0xFFFF) : (v & 0xFF);
    if (spare != 0) BadChar(i + used - 1);
    o[0] = static_cast<uint8_t>(v >> 16);
    if (pad == 1) o[1] = static_cast<uint8_t>(v >> 8);
  }
  return out;
}

}  // namespace kve
