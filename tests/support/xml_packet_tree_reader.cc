// The XML data packet read through a general XML parser's document tree (pugixml), the way
// the product once read it: the reference its own scanner is compared against, in the tests
// and the fuzzer.
#include <algorithm>
#include <array>
#include <cstring>
#include <charconv>
#include <unordered_map>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "platform/common/error.h"
#include "platform/common/ascii.h"
#include "platform/common/cp1252.h"
#include "platform/dataset/packet_format.h"
#include "platform/dataset/xml_packet.h"
#include "support/xml_packet_tree_reader.h"

namespace kve {
namespace {

using namespace packet;

// The row values below are read straight from the parser's NUL-terminated texts, which lie in
// the packet's own buffer: no copy, and no length taken before the value is known to be needed.

// An integer of the whole text in [lo, hi].
bool ParseIntAt(const char* s, int64_t lo, int64_t hi, int64_t& out) {
  const char* e = s + (*s == '-');
  while (*e >= '0' && *e <= '9') ++e;
  if (*e != '\0') return false;
  auto [p, ec] = std::from_chars(s, e, out);
  return ec == std::errc() && p == e && e != s && out >= lo && out <= hi;
}

// `n` decimal digits at `s`; stops at the first other byte (a terminating NUL included), so it
// never reads past the end of a short text.
bool Digits(const char* s, int n, int& out) {
  out = 0;
  for (int i = 0; i < n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

// yyyymmdd -> day number; `s` must go on with `end` (NUL or 'T').
bool ParseDay(const char* s, char end, int64_t& day) {
  int y, m, d;
  if (!Digits(s, 4, y) || !Digits(s + 4, 2, m) || !Digits(s + 6, 2, d) || s[8] != end ||
      !IsValidDate(y, m, d))
    return false;
  day = DayNumber(CivilDate{y, m, d});
  return true;
}

// hh:nn:ss with optional milliseconds zzz, the whole text -> ms of the day
bool ParseMs(const char* s, int64_t& ms) {
  int h, n, sec, z = 0;
  if (!Digits(s, 2, h) || s[2] != ':' || !Digits(s + 3, 2, n) || s[5] != ':' ||
      !Digits(s + 6, 2, sec) || (s[8] != '\0' && (!Digits(s + 8, 3, z) || s[11] != '\0')) ||
      h > 23 || n > 59 || sec > 59)
    return false;
  ms = ((h * 60 + n) * 60 + sec) * int64_t{1000} + z;
  return true;
}

// Byte classes of a text value: its end, a byte that needs no check (printable ASCII, tab,
// line feed, carriage return), and one that does (other controls, bytes of multi-byte UTF-8).
enum : uint8_t { kEnd, kPlain, kCheck };
constexpr auto kByteClass = [] {
  std::array<uint8_t, 256> t{};
  for (int c = 1; c < 256; ++c) t[c] = c >= 0x80 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r') ? kCheck : kPlain;
  return t;
}();

// Whether attribute name `a` (NUL-terminated) is `name`.
bool SameName(const std::string& name, const char* a) {
  size_t k = 0;
  while (k < name.size() && a[k] == name[k]) ++k;  // stops at a's NUL, which no name holds
  return k == name.size() && a[k] == '\0';
}

bool IsTrue(std::string_view v) { return EqualsIgnoreCase(v, "true"); }

std::vector<FieldDef> ReadFields(pugi::xml_node fields) {
  std::vector<FieldDef> defs;
  for (pugi::xml_node f : fields.children()) {
    if (f.type() != pugi::node_element) continue;
    if (std::string_view(f.name()) != "FIELD")
      throw FormatError(fmt::format("unexpected element {} in FIELDS", f.name()));
    FieldDef d;
    d.name = f.attribute("attrname").value();
    if (d.name.empty()) throw FormatError(fmt::format("field {} has no attrname", defs.size() + 1));
    for (const FieldDef& e : defs)
      if (AsciiLowered(e.name) == AsciiLowered(d.name)) throw FormatError(fmt::format("duplicate field name {}", d.name));
    d.type = XmlFieldType(f.attribute("fieldtype").value(), d.name);
    if (d.type == FieldType::String) {
      int64_t w = 0;
      if (pugi::xml_attribute a = f.attribute("WIDTH"); a && !ParseInteger(a.value(), 0, 65535, w))
        throw FormatError(fmt::format("field {}: WIDTH '{}' is not a width", d.name, a.value()));
      d.size = static_cast<int>(w);
      d.fixed = EqualsIgnoreCase(f.attribute("SUBTYPE").value(), "FixedChar");
    }
    d.required = IsTrue(f.attribute("required").value());
    d.readOnly = IsTrue(f.attribute("readonly").value());
    for (pugi::xml_node p : f.children("PARAM")) {
      if (std::string_view(p.attribute("Name").value()) != "PROVFLAGS") continue;
      int64_t v = 0;
      if (!ParseInteger(p.attribute("Value").value(), 0, UINT32_MAX, v))
        throw FormatError(fmt::format("field {}: PROVFLAGS '{}' is not a number", d.name,
                                      p.attribute("Value").value()));
      d.providerFlags = static_cast<uint32_t>(v);
    }
    defs.push_back(std::move(d));
  }
  return defs;
}

}  // namespace

void ReadXmlPacketByTree(std::string& buffer, TClientDataSet& into) {
  XmlPacketToUtf8(buffer);
  pugi::xml_document doc;
  const pugi::xml_parse_result res =
      doc.load_buffer_inplace(buffer.data(), buffer.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!res)
    throw FormatError(fmt::format("invalid XML at byte {}: {}", res.offset, res.description()));
  const pugi::xml_node root = doc.document_element();
  if (std::string_view(root.name()) != "DATAPACKET")
    throw FormatError(fmt::format("root element is {}, not DATAPACKET", root.name()));
  const pugi::xml_node meta = root.child("METADATA");
  const pugi::xml_node fields = meta.child("FIELDS");
  if (!fields) throw FormatError("no METADATA/FIELDS element");
  pugi::xml_node rowdata = root.child("ROWDATA");
  if (!rowdata) throw FormatError("no ROWDATA element");
  std::vector<FieldDef> defs = ReadFields(fields);
  const auto log = ParseChangeLog(meta.child("PARAMS").attribute("CHANGE_LOG").value());

  const int n = static_cast<int>(defs.size());
  std::unordered_map<std::string_view, int> byName;
  into.Reset(std::move(defs));
  const auto& fd = into.FieldDefs();
  for (int i = 0; i < n; ++i) byName.emplace(fd[i].name, i);

  RowBuilder row(n);
  std::vector<uint8_t> seen(n);
  int64_t pos = 0;
  // Each row is dropped from the tree once converted: the parser's pages go back to the heap
  // as the table grows, so the tree and the table are never both whole.
  pugi::xml_node done;
  for (pugi::xml_node r = rowdata.first_child(); r; done = r, r = r.next_sibling()) {
    if (done) rowdata.remove_child(done);
    if (r.type() == pugi::node_pcdata || r.type() == pugi::node_cdata)
      throw FormatError(fmt::format("text '{}' in ROWDATA", std::string_view(r.value()).substr(0, 20)));
    if (r.type() != pugi::node_element) continue;
    ++pos;
    if (std::strcmp(r.name(), "ROW") != 0)
      throw FormatError(fmt::format("unexpected element {} in ROWDATA", r.name()));
    std::fill(seen.begin(), seen.end(), 0);
    unsigned state = 0;
    if (!log.empty())
      if (const auto it = log.find(pos); it != log.end()) state = it->second;
    int next = 0;  // attributes usually come in field order
    for (pugi::xml_attribute a = r.first_attribute(); a; a = a.next_attribute()) {
      const char* const name = a.name();
      const char* const v = a.value();
      if (name[0] == 'R' && std::strcmp(name, "RowState") == 0) {
        int64_t s;
        if (!ParseIntAt(v, 0, 255, s)) throw FormatError(fmt::format("row {}: RowState '{}' is not a number", pos, v));
        state = static_cast<unsigned>(s);
        continue;
      }
      int i;
      if (next < n && SameName(fd[next].name, name)) {
        i = next;
      } else {
        const auto f = byName.find(name);
        if (f == byName.end()) throw FormatError(fmt::format("row {}: unknown field {}", pos, name));
        i = f->second;
      }
      next = i + 1;
      if (seen[i]++) throw FormatError(fmt::format("row {}: {} given twice", pos, name));
      const auto bad = [&](std::string_view what) {
        return FormatError(fmt::format("row {}: {}: '{}' is not a valid {}", pos, name, v, what));
      };
      int64_t x = 0;
      switch (fd[i].type) {
        case FieldType::String: {
          // Plain ASCII, by far the common case, is measured and checked in one pass; any
          // other byte sends the text through the full UTF-8 and code page check.
          const char* e = v;
          while (kByteClass[static_cast<uint8_t>(*e)] == kPlain) ++e;
          size_t chars = static_cast<size_t>(e - v);
          std::string_view text(v, chars);
          if (*e != '\0') {
            text = std::string_view(v);
            for (size_t k = chars; k < text.size();) {
              uint32_t cp;
              const size_t len = DecodeUtf8(text, k, cp);
              if (len == 0 || Cp1252FromCodePoint(cp) < 0)
                throw FormatError(fmt::format("row {}: {}: {}", pos, name, DescribeUnencodable(text, k)));
              if (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r')
                throw FormatError(fmt::format("row {}: {}: control character U+{:04X}", pos, name, cp));
              k += len;
            }
            chars = Utf8Length(text);
          }
          if (fd[i].size > 0 && chars > static_cast<size_t>(fd[i].size))
            throw FormatError(fmt::format("row {}: {}: string of {} characters is longer than its width {}",
                                          pos, name, chars, fd[i].size));
          row.SetStr(i, text);
          break;
        }
        case FieldType::Int16:
          if (!ParseIntAt(v, INT16_MIN, INT16_MAX, x)) throw bad("i2");
          row.SetInt(i, x);
          break;
        case FieldType::Int32:
          if (!ParseIntAt(v, INT32_MIN, INT32_MAX, x)) throw bad("i4");
          row.SetInt(i, x);
          break;
        case FieldType::Int64:
          if (!ParseIntAt(v, INT64_MIN, INT64_MAX, x)) throw bad("i8");
          row.SetInt(i, x);
          break;
        case FieldType::Float: {
          double d = 0;
          const char* const end = v + std::strlen(v);
          auto [p, ec] = std::from_chars(v, end, d);
          if (v == end || ec != std::errc() || p != end) throw bad("r8");
          row.SetFloat(i, d);
          break;
        }
        case FieldType::Boolean: {
          const std::string b = AsciiLowered(v);
          if (b != "true" && b != "false") throw bad("boolean");
          row.SetInt(i, b == "true");
          break;
        }
        case FieldType::Date:
          if (!ParseDay(v, '\0', x)) throw bad("date");
          row.SetInt(i, x * kMsPerDay);
          break;
        case FieldType::Time:
          if (!ParseMs(v, x)) throw bad("time");
          row.SetInt(i, x);
          break;
        case FieldType::DateTime: {
          int64_t ms = 0;
          if (!ParseDay(v, 'T', x) || !ParseMs(v + 9, ms)) throw bad("dateTime");
          row.SetInt(i, x * kMsPerDay + ms);
          break;
        }
      }
    }
    RowStatus status;
    bool keep;
    if (!DecodeRowState(state, status, keep))
      throw FormatError(fmt::format("row {}: invalid RowState {}", pos, state));
    if (keep)
      into.AppendRow(row, status);
    else
      row.Reset();
  }
  for (const auto& [p, s] : log)
    if (p < 1 || p > pos)
      throw FormatError(fmt::format("CHANGE_LOG names row {} of {}", p, pos));
}

}  // namespace kve
