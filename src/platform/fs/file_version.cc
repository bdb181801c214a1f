#include <cstdint>
#include <string>

#include "platform/fs/file_system.h"

namespace kve {
namespace {

uint32_t Le32(std::string_view b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

}  // namespace

std::string FileVersionOfImage(std::string_view bytes) {
  // The version resource is a block keyed "VS_VERSION_INFO" in UTF-16; its value, aligned to
  // four bytes after the key, is the fixed file-info block: signature 0xFEEF04BD, structure
  // version, then the file version as two 32-bit words (major.minor, release.build).
  static const std::string key = [] {
    std::string k;
    for (char c : std::string_view("VS_VERSION_INFO")) {
      k += c;
      k += '\0';
    }
    k += std::string(2, '\0');
    return k;
  }();
  for (size_t at = bytes.find(key); at != std::string_view::npos; at = bytes.find(key, at + 1)) {
    for (size_t s = at + key.size(); s <= at + key.size() + 4 && s + 16 <= bytes.size(); ++s) {
      if (Le32(bytes, s) != 0xFEEF04BDu) continue;
      uint32_t ms = Le32(bytes, s + 8), ls = Le32(bytes, s + 12);
      return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
             std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
    }
  }
  return {};
}

std::string GetFileVersion(FileSystem& fs, std::string_view path) {
  if (!fs.FileExists(path)) return {};
  return FileVersionOfImage(fs.ReadFile(path));
}

}  // namespace kve
