#include <algorithm>
#include <bit>
#include <cstring>

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
char* Put(char* p, T v) {
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

std::string Descriptors(const TClientDataSet& ds, const std::vector<int>& order) {
  const auto& defs = ds.FieldDefs();
  const std::string table = ds.Name().empty() ? "dataset" : ds.Name();
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
  std::vector<uint32_t> log;
  for (size_t p = 0; p < order.size(); ++p) {
    const unsigned code = RowStateCode(ds.Status(order[p]));
    if (code != 0) log.insert(log.end(), {static_cast<uint32_t>(p + 1), 0, code});
  }
  PutLe<uint16_t>(s, log.empty() ? 0 : 1);
  if (!log.empty()) {
    PutPropHead(s, "CHANGE_LOG", 4, kUInt | kArray);
    PutLe<uint32_t>(s, static_cast<uint32_t>(log.size()));
    PutStr(s, log.data(), log.size() * 4);
  }
  return s;
}

// Copies `n` bytes when all are ASCII (then the Windows-1252 form is the same bytes); returns
// false, having written garbage, when one is not. Loads only inside `s`.
inline bool CopyAscii(const char* s, size_t n, char* out) {
  constexpr uint64_t kHigh8 = 0x8080808080808080ULL;
  if (n >= 8) {
    uint64_t w;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      std::memcpy(&w, s + i, 8);
      if (w & kHigh8) return false;
      std::memcpy(out + i, &w, 8);
    }
    if (i < n) {  // the last 8 bytes, overlapping what was copied
      std::memcpy(&w, s + n - 8, 8);
      if (w & kHigh8) return false;
      std::memcpy(out + n - 8, &w, 8);
    }
    return true;
  }
  if (n >= 4) {
    uint32_t a, b;
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + n - 4, 4);
    if ((a | b) & 0x80808080U) return false;
    std::memcpy(out, &a, 4);
    std::memcpy(out + n - 4, &b, 4);
    return true;
  }
  for (size_t i = 0; i < n; ++i) {
    if (static_cast<uint8_t>(s[i]) & 0x80) return false;
    out[i] = s[i];
  }
  return true;
}

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

// Encodes a UTF-8 text as Windows-1252 at `out`; returns the end, or nullptr with `bad` set to
// the offending offset. `out` must have room for utf8.size() bytes.
char* EncodeTo(std::string_view utf8, char* out, size_t& bad) {
  const char* s = utf8.data();
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    // eight ASCII bytes at a time: the common case by far
    if (i + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, s + i, 8);
      if ((w & 0x8080808080808080ULL) == 0) {
        std::memcpy(out, &w, 8);
        out += 8;
        i += 8;
        continue;
      }
    }
    const auto c = static_cast<uint8_t>(s[i]);
    if (c < 0x80) {
      *out++ = static_cast<char>(c);
      ++i;
      continue;
    }
    // U+00A0..U+00FF (the accented letters) are the same number in Windows-1252
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

}  // namespace

void WriteBinaryPacket(const TClientDataSet& ds, ByteSink& sink) {
  const auto& defs = ds.FieldDefs();
  const int n = ds.FieldCount();
  if (n > 65535) throw ValueError(fmt::format("{}: {} fields are more than a packet holds", ds.Name(), n));
  const std::vector<int> order = ds.StorageOrder();
  const std::string meta = Descriptors(ds, order);

  OutBuffer out(sink);
  std::string head;
  PutStr(head, kSignature, 4);
  PutLe<int32_t>(head, 1);
  PutLe<int32_t>(head, 18);
  PutLe<uint16_t>(head, static_cast<uint16_t>(n));
  PutLe<int32_t>(head, static_cast<int32_t>(order.size()));
  PutLe<int32_t>(head, 3);
  const size_t first = kHeaderSize + meta.size();
  PutLe<uint16_t>(head, first < kHeaderSizeOverflow ? static_cast<uint16_t>(first) : kHeaderSizeOverflow);
  out.Append(head);
  out.Append(meta);

  // what each column needs, packed tight for the row loop
  struct Col {
    FieldType type;
    uint8_t prefix;  // length prefix bytes of a string
    uint32_t limit;  // longest string the width and the prefix allow
  };
  std::vector<Col> cols(n);
  size_t fixedMax = 1 + (n + 3) / 4;  // status, null bits, every non-string value
  for (int i = 0; i < n; ++i) {
    const Layout l = LayoutOf(defs[i]);
    const uint32_t prefixMax = l.size == 1 ? 255 : 65535;
    cols[i] = {defs[i].type, static_cast<uint8_t>(l.size),
               defs[i].size > 0 ? std::min<uint32_t>(defs[i].size, prefixMax) : prefixMax};
    fixedMax += l.size;
  }
  std::vector<int> strings;
  for (int i = 0; i < n; ++i)
    if (defs[i].type == FieldType::String) strings.push_back(i);
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
    for (int i = 0; i < n; ++i) {
      if (row.IsNull(i)) continue;
      const Col& col = cols[i];
      switch (col.type) {
        case FieldType::String: {
          const std::string_view s = row.Str(i);
          char* text = c + col.prefix;
          size_t bad = 0;
          char* end = CopyAscii(s.data(), s.size(), text) ? text + s.size() : EncodeTo(s, text, bad);
          if (!end) throw fail(p, i, DescribeUnencodable(s, bad));
          const size_t len = static_cast<size_t>(end - text);
          if (len > col.limit)
            throw fail(p, i, fmt::format("value of {} characters is longer than the field's {}", len,
                                         defs[i].size));
          if (col.prefix == 1)
            Put<uint8_t>(c, static_cast<uint8_t>(len));
          else
            Put<uint16_t>(c, static_cast<uint16_t>(len));
          c = end;
          break;
        }
        case FieldType::Int16: c = Put<int16_t>(c, static_cast<int16_t>(row.Int(i))); break;
        case FieldType::Int32: c = Put<int32_t>(c, static_cast<int32_t>(row.Int(i))); break;
        case FieldType::Int64: c = Put<int64_t>(c, row.Int(i)); break;
        case FieldType::Boolean: c = Put<int16_t>(c, row.Int(i) ? 1 : 0); break;
        case FieldType::Float: c = Put<double>(c, row.Float(i)); break;
        case FieldType::Time: c = Put<int32_t>(c, TimeOfDayMs(row.Int(i))); break;
        case FieldType::Date:
        case FieldType::DateTime: {
          const int64_t ms = row.Int(i);
          if (ms < int64_t{kFirstDay} * kMsPerDay || ms > kLastMs)
            throw fail(p, i, "date out of range (years 1 to 9999)");
          if (col.type == FieldType::Date)
            c = Put<int32_t>(c, static_cast<int32_t>(ms / kMsPerDay));
          else
            c = Put<double>(c, static_cast<double>(ms));
          break;
        }
      }
    }
    out.Commit(c);
  }
  out.Flush();
}

}  // namespace kve
