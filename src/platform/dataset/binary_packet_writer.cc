#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/dataset/binary_packet.h"
#include "platform/common/cp1252.h"
#include "platform/dataset/packet_format.h"

namespace kve {
namespace {

static_assert(std::endian::native == std::endian::little, "packets are written by memcpy");

using namespace packet;

template <typename T>
char* PutAt(char* p, T v) {
  std::memcpy(p, &v, sizeof v);
  return p + sizeof v;
}

void PutStr(std::string& s, const void* p, size_t n) { s.append(static_cast<const char*>(p), n); }
template <typename T>
void PutLe(std::string& s, T v) { PutStr(s, &v, sizeof v); }

struct Layout {
  uint16_t type = 0;
  uint16_t size = 0;  // value bytes, or the length prefix of a string
};

Layout LayoutOf(const FieldDef& d) {
  switch (d.type) {
    // a string without a width (0) may be of any length: it gets the wide prefix
    case FieldType::String: return {kString | kVarying, uint16_t(d.size > 0 && d.size < 256 ? 1 : 2)};
    case FieldType::Int16: return {kInt, 2};
    case FieldType::Int32: return {kInt, 4};
    case FieldType::Int64: return {kInt, 8};
    case FieldType::Float: return {kFloat, 8};
    case FieldType::Boolean: return {kBool, 2};
    case FieldType::Date: return {kDate, 4};
    case FieldType::Time: return {kTime, 4};
    case FieldType::DateTime: return {kTimestamp, 8};
  }
  return {};
}

// uint8 name length, name; uint16 size; uint16 type
void PutPropHead(std::string& s, std::string_view name, uint16_t size, uint16_t type) {
  PutLe<uint8_t>(s, static_cast<uint8_t>(name.size()));
  s.append(name);
  PutLe<uint16_t>(s, size);
  PutLe<uint16_t>(s, type);
}

// Field descriptors and packet properties; `log` is the change log (position, 0, state code
// per changed row), empty for a table without one.
std::string Descriptors(std::string_view tableName, const std::vector<FieldDef>& defs,
                        const std::vector<uint32_t>& log) {
  const std::string table = tableName.empty() ? "dataset" : std::string(tableName);
  std::string s;
  for (const FieldDef& d : defs) {
    std::string name;
    const size_t bad = AppendCp1252(d.name, name);
    if (bad != kEncodedOk)
      throw ValueError(fmt::format("{}: field name '{}': {}", table, d.name,
                                   DescribeUnencodable(d.name, bad)));
    if (name.empty() || name.size() > 255)
      throw ValueError(fmt::format("{}: field name '{}' must be 1 to 255 bytes", table, d.name));
    if (d.type == FieldType::String && d.size > 65535)
      throw ValueError(fmt::format("{}: {}: width {} is over 65535", table, d.name, d.size));
    const Layout l = LayoutOf(d);
    PutLe<uint8_t>(s, static_cast<uint8_t>(name.size()));
    s += name;
    PutLe<uint16_t>(s, l.size);
    PutLe<uint16_t>(s, l.type);
    uint16_t attrs = 0;
    if (d.hidden()) attrs |= kAttrHidden;
    if (d.readOnly) attrs |= kAttrReadOnly;
    if (d.required) attrs |= kAttrRequired;
    PutLe<uint16_t>(s, attrs);
    const uint16_t props = (d.type == FieldType::String ? 1 + d.fixed : 0) + (d.providerFlags != 0);
    PutLe<uint16_t>(s, props);
    if (d.type == FieldType::String) {
      PutPropHead(s, "WIDTH", 2, kUInt);
      PutLe<uint16_t>(s, static_cast<uint16_t>(d.size));
      if (d.fixed) {
        PutPropHead(s, "SUBTYPE", 1, kString | kVarying);
        PutLe<uint8_t>(s, 9);
        s += "FixedChar";
      }
    }
    if (d.providerFlags != 0) {
      PutPropHead(s, "PROVFLAGS", 4, kInt);
      PutLe<int32_t>(s, static_cast<int32_t>(d.providerFlags));
    }
  }
  // packet properties: the change log, when there is one
  PutLe<uint16_t>(s, log.empty() ? 0 : 1);
  if (!log.empty()) {
    PutPropHead(s, "CHANGE_LOG", 4, kUInt | kArray);
    PutLe<uint32_t>(s, static_cast<uint32_t>(log.size()));
    PutStr(s, log.data(), log.size() * 4);
  }
  return s;
}

// The 24 bytes before the descriptors.
std::string Header(int fields, size_t rows, size_t metaSize) {
  std::string head;
  PutStr(head, kSignature, 4);
  PutLe<int32_t>(head, 1);
  PutLe<int32_t>(head, 18);
  PutLe<uint16_t>(head, static_cast<uint16_t>(fields));
  PutLe<int32_t>(head, static_cast<int32_t>(rows));
  PutLe<int32_t>(head, 3);
  const size_t first = kHeaderSize + metaSize;
  PutLe<uint16_t>(head, first < kHeaderSizeOverflow ? static_cast<uint16_t>(first) : kHeaderSizeOverflow);
  return head;
}
constexpr size_t kRowCountAt = 14;  // where Header puts the row count

// Null flags as the packet stores them: two bits per field, 01 = null. Entry b spreads the
// eight flags of byte b over sixteen bits.
struct SpreadTable {
  uint16_t v[256];
  constexpr SpreadTable() : v() {
    for (unsigned b = 0; b < 256; ++b)
      for (unsigned k = 0; k < 8; ++k)
        if (b & (1u << k)) v[b] = static_cast<uint16_t>(v[b] | (1u << (2 * k)));
  }
};
constexpr SpreadTable kSpread;

constexpr uint64_t kHigh8 = 0x8080808080808080ULL;

// The r < 8 bytes at `s` in the low bytes of a word (the rest zero), reading nothing past them.
inline uint64_t LoadShort(const char* s, size_t r) {
  const auto byte = [s](size_t k) { return uint64_t{static_cast<uint8_t>(s[k])} << (8 * k); };
  if (r >= 4) {  // two overlapping 4-byte loads; the shared bytes OR with themselves
    uint32_t lo, hi;
    std::memcpy(&lo, s, 4);
    std::memcpy(&hi, s + r - 4, 4);
    return lo | (uint64_t{hi} << (8 * (r - 4)));
  }
  return r == 0 ? 0 : byte(0) | byte(r / 2) | byte(r - 1);
}

// Encodes a UTF-8 text as Windows-1252 at `out`; returns the end, or nullptr with `bad` set to
// the offending offset. Text is moved eight bytes at a time, so `out` must have room for
// utf8.size() + 8 bytes (what lies past the returned end is scratch).
char* EncodeTo(std::string_view utf8, char* out, size_t& bad) {
  const char* s = utf8.data();
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    // ASCII, the common case by far: copy a word, keep the bytes before its first other one
    uint64_t w;
    size_t got;
    if (n - i >= 8) {
      std::memcpy(&w, s + i, 8);
      got = 8;
    } else {
      w = LoadShort(s + i, n - i);
      got = n - i;
    }
    std::memcpy(out, &w, 8);
    const uint64_t high = w & kHigh8;
    const size_t ascii = high ? static_cast<size_t>(std::countr_zero(high)) / 8 : got;
    out += ascii;
    i += ascii;
    if (ascii == got) continue;

    // U+00A0..U+00FF (the accented letters) are the same number in Windows-1252
    const auto c = static_cast<uint8_t>(s[i]);
    if ((c == 0xC2 || c == 0xC3) && i + 1 < n && (static_cast<uint8_t>(s[i + 1]) & 0xC0) == 0x80) {
      const unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<uint8_t>(s[i + 1]) & 0x3Fu);
      if (cp >= 0xA0) {
        *out++ = static_cast<char>(cp);
        i += 2;
        continue;
      }
    }
    uint32_t cp;
    const size_t len = DecodeUtf8(utf8, i, cp);
    const int b = len ? Cp1252FromCodePoint(cp) : -1;
    if (b < 0) {
      bad = i;
      return nullptr;
    }
    *out++ = static_cast<char>(b);
    i += len;
  }
  return out;
}

// How a column's value goes into the packet, decided once per save rather than per cell.
enum class Put : uint8_t {
  Str1,      // string with a one-byte length prefix
  Str2,      // string with a two-byte length prefix
  Low2,      // the low bytes of the stored integer: Int16, Int32, Int64 and Float (the
  Low4,      //   slot holds the double's bits)
  Low8,
  Bool,
  Time,
  Date,
  DateTime,
};

Put PutOf(const FieldDef& d) {
  switch (d.type) {
    case FieldType::String: return LayoutOf(d).size == 1 ? Put::Str1 : Put::Str2;
    case FieldType::Int16: return Put::Low2;
    case FieldType::Int32: return Put::Low4;
    case FieldType::Int64:
    case FieldType::Float: return Put::Low8;
    case FieldType::Boolean: return Put::Bool;
    case FieldType::Time: return Put::Time;
    case FieldType::Date: return Put::Date;
    case FieldType::DateTime: return Put::DateTime;
  }
  return Put::Low8;
}

}  // namespace

std::string packet::BinaryPacketHead(const std::vector<FieldDef>& defs, size_t rows) {
  const std::string meta = Descriptors({}, defs, {});
  return Header(static_cast<int>(defs.size()), rows, meta.size()) + meta;
}

void WriteBinaryPacket(const TClientDataSet& ds, ByteSink& sink) {
  const auto& defs = ds.FieldDefs();
  const int n = ds.FieldCount();
  if (n > 65535) throw ValueError(fmt::format("{}: {} fields are more than a packet holds", ds.Name(), n));
  const std::vector<int> order = ds.StorageOrder();
  std::vector<uint32_t> log;
  for (size_t p = 0; p < order.size(); ++p) {
    const unsigned code = RowStateCode(ds.Status(order[p]));
    if (code != 0) log.insert(log.end(), {static_cast<uint32_t>(p + 1), 0, code});
  }
  const std::string meta = Descriptors(ds.Name(), defs, log);

  OutBuffer out(sink);
  out.Append(Header(n, order.size(), meta.size()));
  out.Append(meta);

  // what each column needs, packed tight for the row loop
  struct Col {
    Put put;
    uint8_t nullMask;  // the field's bit in byte nullByte of the row's null flags
    uint16_t nullByte;
    uint32_t limit;  // longest string the width and the prefix allow
    int index;
  };
  std::vector<Col> cols(n);
  std::vector<int> strings;
  // status, null bits, every non-string value and string prefix, and the encoder's scratch
  size_t fixedMax = 1 + (n + 3) / 4 + 8;
  for (int i = 0; i < n; ++i) {
    const Layout l = LayoutOf(defs[i]);
    const uint32_t prefixMax = l.size == 1 ? 255 : 65535;
    cols[i] = {PutOf(defs[i]), static_cast<uint8_t>(1u << (i % 8)), static_cast<uint16_t>(i / 8),
               defs[i].size > 0 ? std::min<uint32_t>(defs[i].size, prefixMax) : prefixMax, i};
    fixedMax += l.size;
    if (defs[i].type == FieldType::String) strings.push_back(i);
  }
  const size_t nullBytes = (n + 3) / 4;
  const auto fail = [&](size_t p, int i, const std::string& what) {
    return ValueError(fmt::format("{}: {}", CellContext(ds, static_cast<int>(p + 1), i), what));
  };

  for (size_t p = 0; p < order.size(); ++p) {
    const RowView row = ds.Row(order[p]);
    // Windows-1252 takes at most as many bytes as UTF-8 (a null string's length reads 0)
    size_t need = fixedMax;
    for (int i : strings) need += row.Str(i).size();
    char* c = out.Reserve(need);
    *c++ = static_cast<char>(RowStateCode(ds.Status(order[p])));
    const uint8_t* flags = row.NullBits();
    for (size_t k = 0; k < nullBytes; k += 2) {
      const uint16_t two = kSpread.v[flags[k / 2]];
      c[k] = static_cast<char>(two & 0xFF);
      if (k + 1 < nullBytes) c[k + 1] = static_cast<char>(two >> 8);
    }
    c += nullBytes;
    for (const Col& col : cols) {
      if (flags[col.nullByte] & col.nullMask) continue;  // null: only its flag is written
      const int i = col.index;
      switch (col.put) {
        case Put::Str1:
        case Put::Str2: {
          const std::string_view s = row.Str(i);
          const bool wide = col.put == Put::Str2;
          char* text = c + (wide ? 2 : 1);
          size_t bad = 0;
          char* end = EncodeTo(s, text, bad);
          if (!end) throw fail(p, i, DescribeUnencodable(s, bad));
          const size_t len = static_cast<size_t>(end - text);
          if (len > col.limit)
            throw fail(p, i, fmt::format("value of {} characters is longer than the field's {}", len,
                                         defs[i].size));
          if (wide)
            PutAt<uint16_t>(c, static_cast<uint16_t>(len));
          else
            *c = static_cast<char>(len);
          c = end;
          break;
        }
        case Put::Low2: c = PutAt<int16_t>(c, static_cast<int16_t>(row.Int(i))); break;
        case Put::Low4: c = PutAt<int32_t>(c, static_cast<int32_t>(row.Int(i))); break;
        case Put::Low8: c = PutAt<int64_t>(c, row.Int(i)); break;
        case Put::Bool: c = PutAt<int16_t>(c, row.Int(i) ? 1 : 0); break;
        case Put::Time: c = PutAt<int32_t>(c, TimeOfDayMs(row.Int(i))); break;
        case Put::Date:
        case Put::DateTime: {
          const int64_t ms = row.Int(i);
          if (ms < int64_t{kFirstDay} * kMsPerDay || ms > kLastMs)
            throw fail(p, i, "date out of range (years 1 to 9999)");
          if (col.put == Put::Date)
            c = PutAt<int32_t>(c, static_cast<int32_t>(ms / kMsPerDay));
          else
            c = PutAt<double>(c, static_cast<double>(ms));
          break;
        }
      }
    }
    out.Commit(c);
  }
  out.Flush();
}

}  // namespace kve

namespace kve {

struct BinaryPacketBuilder::Col {
  Put put;
  uint32_t limit;  // longest string the width and the prefix allow
};

PacketBuffer::~PacketBuffer() { std::free(data_); }

BinaryPacketBuilder::BinaryPacketBuilder(std::string_view table, const std::vector<FieldDef>& fields,
                                         PacketBuffer* reuse)
    : table_(table.empty() ? "dataset" : table), defs_(fields) {
  const int n = static_cast<int>(defs_.size());
  if (n > 65535) throw ValueError(fmt::format("{}: {} fields are more than a packet holds", table_, n));
  const std::string meta = Descriptors(table_, defs_, {});
  fixedMax_ = 1 + (defs_.size() + 3) / 4 + 8;
  for (const FieldDef& d : defs_) {
    const Layout l = LayoutOf(d);
    const uint32_t prefixMax = l.size == 1 ? 255 : 65535;
    cols_.push_back({PutOf(d), d.size > 0 ? std::min<uint32_t>(d.size, prefixMax) : prefixMax});
    fixedMax_ += l.size;
  }
  values_.assign(defs_.size(), 0);
  texts_.assign(defs_.size(), {});
  allNull_.assign((defs_.size() + 7) / 8 + 1, 0);
  for (size_t i = 0; i < defs_.size(); ++i) allNull_[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
  nulls_ = allNull_;
  const std::string head = Header(n, 0, meta.size());
  if (reuse) {
    reuse_ = reuse;
    buf_ = std::exchange(reuse->data_, nullptr);
    cap_ = std::exchange(reuse->cap_, 0);
  }
  try {
    Grow(head.size() + meta.size());
  } catch (...) {
    GiveBack();
    throw;
  }
  std::memcpy(buf_, head.data(), head.size());
  std::memcpy(buf_ + head.size(), meta.data(), meta.size());
  used_ = head.size() + meta.size();
}

BinaryPacketBuilder::~BinaryPacketBuilder() { GiveBack(); }

void BinaryPacketBuilder::GiveBack() noexcept {
  if (reuse_ && reuse_->data_ == nullptr) {
    reuse_->data_ = buf_;
    reuse_->cap_ = cap_;
  } else {
    std::free(buf_);
  }
  buf_ = nullptr;
  cap_ = 0;
}

void BinaryPacketBuilder::Grow(size_t need) {
  if (cap_ - used_ >= need) return;
  // realloc moves large blocks by remapping their pages, not by copying them
  size_t cap = std::max({cap_ + cap_ / 2, used_ + need, size_t{1} << 16});
  char* p = static_cast<char*>(std::realloc(buf_, cap));
  if (p == nullptr) throw std::bad_alloc();
  buf_ = p;
  cap_ = cap;
}

void BinaryPacketBuilder::SetNull(int i) { nulls_[i / 8] |= static_cast<uint8_t>(1u << (i % 8)); }

void BinaryPacketBuilder::Set(int i, uint64_t v) {
  values_[i] = v;
  nulls_[i / 8] &= static_cast<uint8_t>(~(1u << (i % 8)));
}

void BinaryPacketBuilder::SetFloat(int i, double v) { Set(i, std::bit_cast<uint64_t>(v)); }

void BinaryPacketBuilder::SetStr(int i, std::string_view utf8) {
  texts_[i] = utf8;
  strBytes_ += utf8.size();
  nulls_[i / 8] &= static_cast<uint8_t>(~(1u << (i % 8)));
}

void BinaryPacketBuilder::EndRow() {
  const int n = static_cast<int>(defs_.size());
  const auto fail = [&](int i, const std::string& what) {
    return ValueError(fmt::format("{} row {}: {}: {}", table_, rows_ + 1, defs_[i].name, what));
  };
  Grow(fixedMax_ + strBytes_);
  char* c = buf_ + used_;
  *c++ = 0;  // a row as it is, not a change
  const size_t nullBytes = (defs_.size() + 3) / 4;
  for (size_t k = 0; k < nullBytes; k += 2) {
    const uint16_t two = kSpread.v[nulls_[k / 2]];
    c[k] = static_cast<char>(two & 0xFF);
    if (k + 1 < nullBytes) c[k + 1] = static_cast<char>(two >> 8);
  }
  c += nullBytes;
  for (int i = 0; i < n; ++i) {
    if (nulls_[i / 8] & (1u << (i % 8))) continue;
    const Col& col = cols_[i];
    const auto v = static_cast<int64_t>(values_[i]);
    switch (col.put) {
      case Put::Str1:
      case Put::Str2: {
        const std::string_view s = texts_[i];
        const bool wide = col.put == Put::Str2;
        char* text = c + (wide ? 2 : 1);
        size_t bad = 0;
        char* end = EncodeTo(s, text, bad);
        if (!end) throw fail(i, DescribeUnencodable(s, bad));
        const size_t len = static_cast<size_t>(end - text);
        if (len > col.limit)
          throw fail(i, fmt::format("value of {} characters is longer than the field's {}", len,
                                    defs_[i].size));
        if (wide)
          PutAt<uint16_t>(c, static_cast<uint16_t>(len));
        else
          *c = static_cast<char>(len);
        c = end;
        break;
      }
      case Put::Low2: c = PutAt<int16_t>(c, static_cast<int16_t>(v)); break;
      case Put::Low4: c = PutAt<int32_t>(c, static_cast<int32_t>(v)); break;
      case Put::Low8: c = PutAt<int64_t>(c, v); break;
      case Put::Bool: c = PutAt<int16_t>(c, v ? 1 : 0); break;
      case Put::Time: c = PutAt<int32_t>(c, TimeOfDayMs(v)); break;
      case Put::Date:
      case Put::DateTime:
        if (v < int64_t{kFirstDay} * kMsPerDay || v > kLastMs)
          throw fail(i, "date out of range (years 1 to 9999)");
        if (col.put == Put::Date)
          c = PutAt<int32_t>(c, static_cast<int32_t>(v / kMsPerDay));
        else
          c = PutAt<double>(c, static_cast<double>(v));
        break;
    }
  }
  used_ = static_cast<size_t>(c - buf_);
  ++rows_;
  std::copy(allNull_.begin(), allNull_.end(), nulls_.begin());
  strBytes_ = 0;
}

std::string_view BinaryPacketBuilder::Finish() {
  if (rows_ > INT32_MAX) throw ValueError(fmt::format("{}: {} rows are more than a packet holds", table_, rows_));
  PutAt<int32_t>(buf_ + kRowCountAt, static_cast<int32_t>(rows_));
  return {buf_, used_};
}

}  // namespace kve
