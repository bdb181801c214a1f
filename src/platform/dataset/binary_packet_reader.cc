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

}  // namespace

void ReadBinaryPacket(std::string_view bytes, TClientDataSet& into,
                      const std::function<void(size_t)>& consumed) {
  if (!IsBinaryPacket(bytes)) throw FormatError("bad signature: not a binary data packet");
  Cursor c(bytes);
  c.Need(kHeaderSize, "header");
  c.Bytes(4, "header");
  c.Get<int32_t>("header");
  c.Get<int32_t>("header");
  const uint16_t fieldCount = c.Get<uint16_t>("header");
  const int32_t recordCount = c.Get<int32_t>("header");
  c.Get<int32_t>("header");
  const uint16_t headerSize = c.Get<uint16_t>("header");
  if (recordCount < 0) throw FormatError(fmt::format("negative record count {}", recordCount));

  std::vector<FieldDef> defs;
  std::vector<Column> cols;
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
  for (int k = 0; k < packetProps; ++k) {
    const Prop p = ReadProp(c, "packet properties");
    if (p.name == "CHANGE_LOG" && (p.count % 3 != 0 || p.size != 4 || !(p.type & kArray)))
      throw FormatError("CHANGE_LOG is not a list of triples of 32-bit integers");
  }
  const size_t first = c.pos();
  if (first < kHeaderSizeOverflow ? headerSize != first : headerSize != kHeaderSizeOverflow)
    throw FormatError(fmt::format("header size {} does not match the first record's offset {}",
                                  headerSize, first));

  const int n = fieldCount;
  const size_t nullBytes = (static_cast<size_t>(n) + 3) / 4;
  // A record takes at least its state and null flags, so the table keeps under 4 cells a byte
  // of the packet: within what packet::MaxCells allows any file.
  if (static_cast<size_t>(recordCount) > c.left() / (1 + nullBytes))
    throw FormatError(fmt::format("record count {} overruns the {} bytes left", recordCount, c.left()));

  into.Reset(std::move(defs));
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
