#include "platform/dataset/packet_header.h"

#include <cstring>

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/dataset/packet_format.h"

namespace kve {

bool IsDataPacket(std::string_view b) {
  if (packet::IsBinaryPacket(b)) return true;
  if (b.substr(0, 3) == "\xEF\xBB\xBF") b.remove_prefix(3);
  const size_t p = b.find_first_not_of(" \t\r\n");
  return p != std::string_view::npos && b[p] == '<';
}

PacketHeader ReadPacketHeader(std::string_view b) {
  PacketHeader h;
  if (packet::IsBinaryPacket(b)) {
    if (b.size() < packet::kHeaderSize) throw FormatError("truncated: header needs 24 bytes");
    const auto get = [&](size_t off, size_t n) {
      int64_t v = 0;
      std::memcpy(&v, b.data() + off, n);  // little-endian host
      if (n == 4) v = static_cast<int32_t>(v);
      return v;
    };
    h.form = "binary data packet";
    h.version = fmt::format("{}/{}/{}", get(4, 4), get(8, 4), get(18, 4));
    h.encoding = "windows-1252";
    h.fieldCount = get(12, 2);
    h.recordCount = get(14, 4);
    h.headerSize = get(22, 2);
    return h;
  }
  h.form = "XML data packet";
  const auto attr = [&](std::string_view within, std::string_view key) -> std::string {
    const size_t at = within.find(key);
    if (at == std::string_view::npos) return {};
    const size_t q = within.find_first_of("\"'", at + key.size());
    if (q == std::string_view::npos) return {};
    const size_t e = within.find(within[q], q + 1);
    return e == std::string_view::npos ? std::string() : std::string(within.substr(q + 1, e - q - 1));
  };
  const size_t declEnd = b.find("?>");
  if (b.find("<?xml") < declEnd) h.encoding = attr(b.substr(0, declEnd), "encoding");
  const size_t root = b.find("<DATAPACKET");
  if (root != std::string_view::npos) h.version = attr(b.substr(root, b.find('>', root) - root), "Version");
  return h;
}

}  // namespace kve
