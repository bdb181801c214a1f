#include <charconv>
#include <cstring>

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/common/cp1252.h"
#include "platform/dataset/packet_format.h"
#include "platform/dataset/xml_packet.h"

namespace kve {
namespace {

using namespace packet;

// What a byte of a UTF-8 text needs in an attribute value: 0 nothing, 1 an escape (markup
// characters and the control characters XML keeps), 2 a character reference (non-ASCII),
// 3 nothing will do (control characters XML 1.0 forbids even as references).
struct EscapeTable {
  uint8_t kind[256];
  constexpr EscapeTable() : kind() {
    for (int c = 0; c < 256; ++c) kind[c] = c >= 0x80 ? 2 : c < 0x20 ? 3 : 0;
    for (unsigned char c : {'&', '<', '>', '"', '\'', '\t', '\n', '\r'}) kind[c] = 1;
  }
};
constexpr EscapeTable kEscape;

constexpr char kDigits2[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline char* Put2(char* p, unsigned v) {
  std::memcpy(p, kDigits2 + 2 * v, 2);
  return p + 2;
}
inline char* PutLit(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

char* PutDate(char* p, int32_t day) {
  const CivilDate d = DateOfDay(day);
  p = Put2(p, static_cast<unsigned>(d.year / 100));
  p = Put2(p, static_cast<unsigned>(d.year % 100));
  p = Put2(p, static_cast<unsigned>(d.month));
  return Put2(p, static_cast<unsigned>(d.day));
}

char* PutTime(char* p, int32_t ms) {
  const int32_t s = ms / 1000;
  p = Put2(p, static_cast<unsigned>(s / 3600));
  *p++ = ':';
  p = Put2(p, static_cast<unsigned>(s / 60 % 60));
  *p++ = ':';
  p = Put2(p, static_cast<unsigned>(s % 60));
  const int32_t z = ms % 1000;
  *p++ = static_cast<char>('0' + z / 100);
  return Put2(p, static_cast<unsigned>(z % 100));
}

// Writes `s` escaped; needs 6 * s.size() bytes of room. Returns nullptr with `bad` set to the
// offset of a character that cannot be written.
char* PutEscaped(char* p, std::string_view s, size_t& bad) {
  const auto* b = reinterpret_cast<const uint8_t*>(s.data());
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    size_t j = i;
    while (j < n && kEscape.kind[b[j]] == 0) ++j;
    std::memcpy(p, b + i, j - i);
    p += j - i;
    if (j == n) break;
    i = j;
    const uint8_t c = b[i];
    switch (kEscape.kind[c]) {
      case 1:
        switch (c) {
          case '&': p = PutLit(p, "&amp;"); break;
          case '<': p = PutLit(p, "&lt;"); break;
          case '>': p = PutLit(p, "&gt;"); break;
          case '"': p = PutLit(p, "&quot;"); break;
          case '\'': p = PutLit(p, "&apos;"); break;
          case '\t': p = PutLit(p, "&#9;"); break;
          case '\n': p = PutLit(p, "&#10;"); break;
          default: p = PutLit(p, "&#13;"); break;
        }
        ++i;
        break;
      case 2: {
        uint32_t cp;
        const size_t len = DecodeUtf8(s, i, cp);
        if (len == 0 || Cp1252FromCodePoint(cp) < 0) {
          bad = i;
          return nullptr;
        }
        *p++ = '&';
        *p++ = '#';
        p = std::to_chars(p, p + 8, cp).ptr;
        *p++ = ';';
        i += len;
        break;
      }
      default:
        bad = i;
        return nullptr;
    }
  }
  return p;
}

std::string Metadata(const TClientDataSet& ds, const std::vector<int>& order) {
  std::string s = "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
                  "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
  for (const FieldDef& d : ds.FieldDefs()) {
    if (!IsXmlRowName(d.name) || d.name == "RowState")
      throw ValueError(fmt::format("{}: field name '{}' cannot be written in an XML packet",
                                   ds.Name(), d.name));
    s += "<FIELD attrname=\"" + d.name + "\" fieldtype=\"";
    s += FieldTypeName(d.type);
    s += '"';
    if (d.type == FieldType::String) {
      if (d.fixed) s += " SUBTYPE=\"FixedChar\"";
      s += fmt::format(" WIDTH=\"{}\"", d.size);
    }
    if (d.required) s += " required=\"true\"";
    if (d.readOnly) s += " readonly=\"true\"";
    if (d.providerFlags != 0)
      s += fmt::format("><PARAM Name=\"PROVFLAGS\" Value=\"{}\" Type=\"i4\" Roundtrip=\"True\"/></FIELD>",
                       d.providerFlags);
    else
      s += "/>";
  }
  s += "</FIELDS><PARAMS";
  std::string log;
  for (size_t p = 0; p < order.size(); ++p) {
    const unsigned code = RowStateCode(ds.Status(order[p]));
    if (code != 0) fmt::format_to(std::back_inserter(log), "{}{} 0 {}", log.empty() ? "" : " ", p + 1, code);
  }
  if (!log.empty()) s += " CHANGE_LOG=\"" + log + "\"";
  s += "/></METADATA><ROWDATA>";
  return s;
}

}  // namespace

void WriteXmlPacket(const TClientDataSet& ds, ByteSink& sink) {
  const auto& defs = ds.FieldDefs();
  const int n = ds.FieldCount();
  const std::vector<int> order = ds.StorageOrder();
  OutBuffer out(sink);
  out.Append(Metadata(ds, order));

  // ` NAME="` per field, written before each non-null value
  std::vector<std::string> prefix(n);
  size_t fixedMax = 32;  // <ROW RowState="4" ... />
  for (int i = 0; i < n; ++i) {
    prefix[i] = " " + defs[i].name + "=\"";
    fixedMax += prefix[i].size() + 1 + 32;  // a number, date or time fits 32 bytes
  }

  for (size_t p = 0; p < order.size(); ++p) {
    const RowView row = ds.Row(order[p]);
    size_t need = fixedMax;
    for (int i = 0; i < n; ++i)
      if (defs[i].type == FieldType::String && !row.IsNull(i)) need += 6 * row.Str(i).size();
    char* c = out.Reserve(need);
    c = PutLit(c, "<ROW");
    const unsigned state = RowStateCode(ds.Status(order[p]));
    if (state != 0) c = PutLit(c, state == 4 ? " RowState=\"4\"" : " RowState=\"8\"");
    for (int i = 0; i < n; ++i) {
      if (row.IsNull(i)) continue;
      c = PutLit(c, prefix[i]);
      switch (defs[i].type) {
        case FieldType::String: {
          size_t bad = 0;
          char* end = PutEscaped(c, row.Str(i), bad);
          if (!end)
            throw ValueError(fmt::format("{}: {}", CellContext(ds, static_cast<int>(p + 1), i),
                                         DescribeUnencodable(row.Str(i), bad)));
          c = end;
          break;
        }
        case FieldType::Int16:
        case FieldType::Int32:
        case FieldType::Int64:
          c = std::to_chars(c, c + 24, row.Int(i)).ptr;
          break;
        case FieldType::Float:
          c = std::to_chars(c, c + 32, row.Float(i)).ptr;
          break;
        case FieldType::Boolean:
          c = PutLit(c, row.Int(i) ? "TRUE" : "FALSE");
          break;
        case FieldType::Time:
          c = PutTime(c, TimeOfDayMs(row.Int(i)));
          break;
        case FieldType::Date:
        case FieldType::DateTime: {
          const int64_t ms = row.Int(i);
          if (ms < int64_t{kFirstDay} * kMsPerDay || ms > kLastMs)
            throw ValueError(fmt::format("{}: date out of range (years 1 to 9999)",
                                         CellContext(ds, static_cast<int>(p + 1), i)));
          c = PutDate(c, static_cast<int32_t>(ms / kMsPerDay));
          if (defs[i].type == FieldType::DateTime) {
            *c++ = 'T';
            c = PutTime(c, static_cast<int32_t>(ms % kMsPerDay));
          }
          break;
        }
      }
      *c++ = '"';
    }
    c = PutLit(c, "/>");
    out.Commit(c);
  }
  out.Append("</ROWDATA></DATAPACKET>");
  out.Flush();
}

}  // namespace kve
