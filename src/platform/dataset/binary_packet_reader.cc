#include <cmath>
#include <cstring>

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/common/ascii.h"
#include "platform/dataset/binary_packet.h"
#include "platform/common/cp1252.h"
#include "platform/dataset/packet_format.h"

namespace kve {
namespace {

using namespace packet;

// Bounds-checked little-endian cursor over the packet.
class Cursor {
 public:
  explicit Cursor(std::string_view b) : b_(b) {}
  size_t pos() const { return pos_; }
  size_t left() const { return b_.size() - pos_; }
  void Need(size_t k, std::string_view what) const {
    if (left() < k)
      throw FormatError(fmt::format("truncated: {} needs {} bytes at offset {}, only {} left",
                                    what, k, pos_, left()));
  }
  template <typename T>
  T Get(std::string_view what) {
    Need(sizeof(T), what);
    T v;
    std::memcpy(&v, b_.data() + pos_, sizeof v);
    pos_ += sizeof v;
    return v;
  }
  std::string_view Bytes(size_t k, std::string_view what) {
    Need(k, what);
    std::string_view v = b_.substr(pos_, k);
    pos_ += k;
    return v;
  }
  // An unsigned integer of 1, 2 or 4 bytes (a length prefix or a width).
  uint32_t GetUnsigned(size_t size, std::string_view what) {
    switch (size) {
      case 1: return Get<uint8_t>(what);
      case 2: return Get<uint16_t>(what);
      case 4: return Get<uint32_t>(what);
    }
    throw FormatError(fmt::format("{}: unsupported size {}", what, size));
  }

 private:
  std::string_view b_;
  size_t pos_ = 0;
};

struct Prop {
  std::string name;
  uint16_t size = 0;
  uint16_t type = 0;
  std::string_view data;  // the value bytes (for a varying value, without its prefix)
  uint32_t count = 1;     // elements of an array
};

Prop ReadProp(Cursor& c, std::string_view owner) {
  Prop p;
  const uint8_t len = c.Get<uint8_t>(owner);
  AppendUtf8FromCp1252(c.Bytes(len, owner), p.name);
  const std::string what = fmt::format("{}: property {}", owner, p.name);
  p.size = c.Get<uint16_t>(what);
  p.type = c.Get<uint16_t>(what);
  if (p.type & kArray) {
    p.count = c.Get<uint32_t>(what);
    if (p.size == 0 || p.count > c.left() / p.size)
      throw FormatError(fmt::format("{}: {} elements of {} bytes overrun the {} bytes left", what,
                                    p.count, p.size, c.left()));
    p.data = c.Bytes(size_t{p.count} * p.size, what);
  } else if (p.type & kVarying) {
    const uint32_t n = c.GetUnsigned(p.size, what);
    p.data = c.Bytes(n, what);
  } else {
    p.data = c.Bytes(p.size, what);
  }
  return p;
}

uint32_t PropUnsigned(const Prop& p, std::string_view owner) {
  const uint16_t base = p.type & kBaseMask;
  if ((base != kInt && base != kUInt) || (p.type & (kArray | kVarying)) ||
      (p.size != 1 && p.size != 2 && p.size != 4))
    throw FormatError(fmt::format("{}: property {} is not an integer", owner, p.name));
  uint32_t v = 0;
  std::memcpy(&v, p.data.data(), p.size);
  return v;
}

struct Column {
  FieldType type;
  uint16_t base;
  uint16_t size;
  bool varying;
};

Column MapType(uint16_t type, uint16_t size, std::string_view field) {
  const uint16_t base = type & kBaseMask;
  const bool varying = (type & kVarying) != 0;
  const auto bad = [&]() {
    return FormatError(fmt::format("field {}: unknown type 0x{:X} of size {}", field, type, size));
  };
  if (type & kArray) throw bad();
  if (base == kString) {
    if (varying ? (size != 1 && size != 2 && size != 4) : size == 0) throw bad();
    return {FieldType::String, base, size, varying};
  }
  if (varying) throw bad();
  switch (base) {
    case kInt:
      if (size == 1 || size == 2) return {FieldType::Int16, base, size, false};
      if (size == 4) return {FieldType::Int32, base, size, false};
      if (size == 8) return {FieldType::Int64, base, size, false};
      break;
    case kUInt:
      if (size == 1) return {FieldType::Int16, base, size, false};
      if (size == 2) return {FieldType::Int32, base, size, false};
      if (size == 4) return {FieldType::Int64, base, size, false};
      break;
    case kBool:
      if (size == 1 || size == 2 || size == 4) return {FieldType::Boolean, base, size, false};
      break;
    case kFloat:
      if (size == 8) return {FieldType::Float, base, size, false};
      break;
    case kDate:
      if (size == 4) return {FieldType::Date, base, size, false};
      break;
    case kTime:
      if (size == 4) return {FieldType::Time, base, size, false};
      break;
    case kTimestamp:
      if (size == 8) return {FieldType::DateTime, base, size, false};
      break;
  }
  throw bad();
}

// The header, field descriptors and packet properties, checked as the reader checks them.
struct Head {
  std::vector<FieldDef> defs;
  std::vector<Column> cols;
  int32_t records = 0;
  uint16_t packetProps = 0;
  size_t nullBytes = 0;
};

Head ReadHead(Cursor& c, std::string_view bytes) {
  if (!IsBinaryPacket(bytes)) throw FormatError("bad signature: not a binary data packet");
  Head h;
  c.Need(kHeaderSize, "header");
  c.Bytes(4, "header");
  c.Get<int32_t>("header");
  c.Get<int32_t>("header");
  const uint16_t fieldCount = c.Get<uint16_t>("header");
  const int32_t recordCount = c.Get<int32_t>("header");
  c.Get<int32_t>("header");
  const uint16_t headerSize = c.Get<uint16_t>("header");
  if (recordCount < 0) throw FormatError(fmt::format("negative record count {}", recordCount));

  std::vector<FieldDef>& defs = h.defs;
  std::vector<Column>& cols = h.cols;
  FieldNames names;
  for (int f = 0; f < fieldCount; ++f) {
    const std::string owner = fmt::format("field {}", f + 1);
    FieldDef d;
    const uint8_t len = c.Get<uint8_t>(owner);
    AppendUtf8FromCp1252(c.Bytes(len, owner), d.name);
    if (d.name.empty()) throw FormatError(fmt::format("{} has no name", owner));
    names.Add(d.name);
    const uint16_t size = c.Get<uint16_t>(d.name);
    const uint16_t type = c.Get<uint16_t>(d.name);
    const uint16_t attrs = c.Get<uint16_t>(d.name);
    const uint16_t props = c.Get<uint16_t>(d.name);
    const Column col = MapType(type, size, d.name);
    d.type = col.type;
    if (col.type == FieldType::String && !col.varying) d.size = size;
    for (int k = 0; k < props; ++k) {
      const Prop p = ReadProp(c, d.name);
      if (p.name == "WIDTH" && col.type == FieldType::String) {
        const uint32_t w = PropUnsigned(p, d.name);
        if (w > 65535) throw FormatError(fmt::format("field {}: WIDTH {} is over 65535", d.name, w));
        d.size = static_cast<int>(w);
      } else if (p.name == "SUBTYPE") {
        d.fixed = p.data == "FixedChar";
      } else if (p.name == "PROVFLAGS") {
        d.providerFlags = PropUnsigned(p, d.name);
      }
    }
    if (attrs & kAttrHidden) d.providerFlags |= pfHidden;
    d.readOnly = (attrs & kAttrReadOnly) != 0;
    d.required = (attrs & kAttrRequired) != 0;
    defs.push_back(std::move(d));
    cols.push_back(col);
  }

  const uint16_t packetProps = c.Get<uint16_t>("packet properties");
  h.packetProps = packetProps;
  for (int k = 0; k < packetProps; ++k) {
    const Prop p = ReadProp(c, "packet properties");
    if (p.name == "CHANGE_LOG" && (p.count % 3 != 0 || p.size != 4 || !(p.type & kArray)))
      throw FormatError("CHANGE_LOG is not a list of triples of 32-bit integers");
  }
  const size_t first = c.pos();
  if (first < kHeaderSizeOverflow ? headerSize != first : headerSize != kHeaderSizeOverflow)
    throw FormatError(fmt::format("header size {} does not match the first record's offset {}",
                                  headerSize, first));

  const size_t nullBytes = (static_cast<size_t>(fieldCount) + 3) / 4;
  // A record takes at least its state and null flags, so the table keeps under 4 cells a byte
  // of the packet: within what packet::MaxCells allows any file.
  if (static_cast<size_t>(recordCount) > c.left() / (1 + nullBytes))
    throw FormatError(fmt::format("record count {} overruns the {} bytes left", recordCount, c.left()));

  h.records = recordCount;
  h.nullBytes = nullBytes;
  return h;
}

}  // namespace

void ReadBinaryPacket(std::string_view bytes, TClientDataSet& into,
                      const std::function<void(size_t)>& consumed) {
  Cursor c(bytes);
  Head h = ReadHead(c, bytes);
  const std::vector<Column> cols = std::move(h.cols);
  const int32_t recordCount = h.records;
  const size_t nullBytes = h.nullBytes;
  const int n = static_cast<int>(h.defs.size());
  into.Reset(std::move(h.defs));
  const auto& fd = into.FieldDefs();
  RowBuilder row(n);
  std::string text;
  for (int32_t r = 0; r < recordCount; ++r) {
    const std::string_view where = "record";
    const uint8_t state = c.Get<uint8_t>(where);
    RowStatus status;
    bool keep;
    if (!DecodeRowState(state, status, keep))
      throw FormatError(fmt::format("record {}: invalid row state {}", r + 1, state));
    const std::string_view nulls = c.Bytes(nullBytes, where);
    for (int i = 0; i < n; ++i) {
      if ((static_cast<uint8_t>(nulls[i / 4]) >> ((i % 4) * 2)) & 3) {
        row.SetNull(i);
        continue;
      }
      const Column& col = cols[i];
      const auto bad = [&](const std::string& what) {
        return FormatError(fmt::format("record {}: {}: {}", r + 1, fd[i].name, what));
      };
      switch (col.type) {
        case FieldType::String: {
          const uint32_t len = col.varying ? c.GetUnsigned(col.size, fd[i].name) : col.size;
          std::string_view raw = c.Bytes(len, fd[i].name);
          if (!col.varying) raw = raw.substr(0, raw.find('\0'));
          if (fd[i].size > 0 && raw.size() > static_cast<size_t>(fd[i].size))
            throw bad(fmt::format("string of {} characters is longer than its width {}", raw.size(),
                                  fd[i].size));
          text.clear();
          AppendUtf8FromCp1252(raw, text);
          row.SetStr(i, text);
          break;
        }
        case FieldType::Int16:
        case FieldType::Int32:
        case FieldType::Int64:
        case FieldType::Boolean: {
          int64_t v = 0;
          if (col.base == kUInt) {
            v = c.GetUnsigned(col.size, fd[i].name);
          } else if (col.size == 1) {
            v = c.Get<int8_t>(fd[i].name);
          } else if (col.size == 2) {
            v = c.Get<int16_t>(fd[i].name);
          } else if (col.size == 4) {
            v = c.Get<int32_t>(fd[i].name);
          } else {
            v = c.Get<int64_t>(fd[i].name);
          }
          row.SetInt(i, col.type == FieldType::Boolean ? v != 0 : v);
          break;
        }
        case FieldType::Float:
          row.SetFloat(i, c.Get<double>(fd[i].name));
          break;
        case FieldType::Date: {
          const int32_t day = c.Get<int32_t>(fd[i].name);
          if (day < kFirstDay || day > kLastDay) throw bad(fmt::format("date {} out of range", day));
          row.SetInt(i, int64_t{day} * kMsPerDay);
          break;
        }
        case FieldType::Time: {
          const int32_t ms = c.Get<int32_t>(fd[i].name);
          if (ms < 0 || ms >= kMsPerDay) throw bad(fmt::format("time {} out of range", ms));
          row.SetInt(i, ms);
          break;
        }
        case FieldType::DateTime: {
          const double v = c.Get<double>(fd[i].name);
          if (!(v >= static_cast<double>(kMsPerDay) && v <= static_cast<double>(kLastMs)))
            throw bad(fmt::format("timestamp {} out of range", v));
          row.SetInt(i, std::llround(v));
          break;
        }
      }
    }
    if (keep)
      into.AppendRow(row, status);
    else
      row.Reset();
    if (consumed && (r & 4095) == 4095) consumed(c.pos());
  }
  if (c.left() != 0) throw FormatError(fmt::format("{} bytes after the last record", c.left()));
}

}  // namespace kve

namespace kve {

bool IsWrittenForm(std::string_view bytes, std::span<const std::string_view> columns, const PacketTextRow& row) {
  using namespace packet;
  Cursor c(bytes);
  Head h;
  try {
    h = ReadHead(c, bytes);
    // The writer's own header for these fields, byte for byte: no change log, no property
    // the reader would pass over, every type in the writer's layout.
    if (h.packetProps != 0) return false;
    const std::string head = BinaryPacketHead(h.defs, static_cast<size_t>(h.records));
    if (bytes.substr(0, head.size()) != head) return false;
  } catch (const Error&) {
    return false;
  }
  const size_t n = h.defs.size();
  std::vector<int> wanted(n, -1);  // the place in `columns` of each field passed to `row`
  for (size_t k = 0; k < columns.size(); ++k) {
    size_t f = 0;
    while (f < n && !EqualsIgnoreCase(h.defs[f].name, columns[k])) ++f;
    if (f == n || h.defs[f].type != FieldType::String) return false;
    wanted[f] = static_cast<int>(k);
  }
  std::vector<std::string_view> values(columns.size());
  const char* p = bytes.data() + c.pos();
  const char* const end = bytes.data() + bytes.size();
  const auto need = [&](size_t k) { return static_cast<size_t>(end - p) >= k; };
  // The value bytes of each kind of column; a string's length prefix instead.
  std::vector<uint8_t> width(n);
  for (size_t f = 0; f < n; ++f) width[f] = static_cast<uint8_t>(h.cols[f].size);
  for (int32_t r = 0; r < h.records; ++r) {
    if (!need(1 + h.nullBytes) || *p != 0) return false;  // only plain rows are written
    const auto* nulls = reinterpret_cast<const uint8_t*>(p + 1);
    p += 1 + h.nullBytes;
    for (size_t f = 0; f < n; ++f) {
      const unsigned flag = (nulls[f / 4] >> ((f % 4) * 2)) & 3;
      if (flag == 1) {
        if (wanted[f] >= 0) values[static_cast<size_t>(wanted[f])] = {};
        continue;
      }
      if (flag != 0) return false;  // the writer marks a null 01
      const Column& col = h.cols[f];
      if (col.type == FieldType::String) {
        if (!need(width[f])) return false;
        uint32_t len = static_cast<uint8_t>(p[0]);
        if (width[f] == 2) len |= uint32_t{static_cast<uint8_t>(p[1])} << 8;
        p += width[f];
        const int size = h.defs[f].size;
        if (!need(len) || (size > 0 && len > static_cast<uint32_t>(size))) return false;
        // A view of the packet, so never without data, even when empty: nulls have none.
        if (wanted[f] >= 0) values[static_cast<size_t>(wanted[f])] = std::string_view(len ? p : p - 1, len);
        p += len;
        continue;
      }
      if (!need(width[f])) return false;
      switch (col.type) {
        case FieldType::Boolean: {
          int16_t v;
          std::memcpy(&v, p, 2);
          if (v != 0 && v != 1) return false;
          break;
        }
        case FieldType::Date: {
          int32_t day;
          std::memcpy(&day, p, 4);
          if (day < kFirstDay || day > kLastDay) return false;
          break;
        }
        case FieldType::Time: {
          int32_t ms;
          std::memcpy(&ms, p, 4);
          if (ms < 0 || ms >= kMsPerDay) return false;
          break;
        }
        case FieldType::DateTime: {
          double v;
          std::memcpy(&v, p, 8);
          // a whole number of milliseconds in range: the only timestamps written
          if (!(v >= static_cast<double>(kMsPerDay) && v <= static_cast<double>(kLastMs)) ||
              static_cast<double>(static_cast<int64_t>(v)) != v)
            return false;
          break;
        }
        default:
          break;  // integers and floats go back as their bytes
      }
      p += width[f];
    }
    // the flags of the places past the last field stay clear
    for (size_t f = n; f < 4 * h.nullBytes; ++f)
      if ((nulls[f / 4] >> ((f % 4) * 2)) & 3) return false;
    if (row && !row(values)) return false;
  }
  return p == end;
}

}  // namespace kve
