#include "platform/dataset/inspect.h"

#include <charconv>
#include <cstring>

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/dataset/packet_format.h"

namespace kve {
namespace {

std::string Attributes(const FieldDef& d) {
  std::string a;
  const auto add = [&](std::string_view s) {
    if (!a.empty()) a += ", ";
    a += s;
  };
  if (d.fixed) add("fixed");
  if (d.required) add("required");
  if (d.readOnly) add("read-only");
  if (d.hidden()) add("hidden");
  if (d.providerFlags != 0) add(fmt::format("provflags={}", d.providerFlags));
  return a;
}

std::string JsonString(std::string_view s) {
  std::string out = "\"";
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20)
          out += fmt::format("\\u{:04x}", c);
        else
          out += ch;
    }
  }
  return out + "\"";
}

std::string CsvField(std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(s);
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string JsonValue(RowView row, int i, const FieldDef& d) {
  if (row.IsNull(i)) return "null";
  switch (d.type) {
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Int64:
    case FieldType::Boolean:
      return InspectValue(row, i, d);
    case FieldType::Float: {
      const double v = row.Float(i);
      return v == v && v - v == 0 ? InspectValue(row, i, d) : JsonString(InspectValue(row, i, d));
    }
    default:
      return JsonString(InspectValue(row, i, d));
  }
}

void PrintJson(std::ostream& out, std::string_view name, const PacketHeader& h,
               const TClientDataSet& ds, const std::vector<int>& rows) {
  const auto& defs = ds.FieldDefs();
  out << "{\"file\":" << JsonString(name) << ",\"header\":{\"form\":" << JsonString(h.form)
      << ",\"version\":" << JsonString(h.version) << ",\"encoding\":" << JsonString(h.encoding);
  if (h.headerSize >= 0)
    out << ",\"fieldCount\":" << h.fieldCount << ",\"recordCount\":" << h.recordCount
        << ",\"headerSize\":" << h.headerSize;
  out << "},\"fields\":[";
  for (size_t i = 0; i < defs.size(); ++i) {
    const FieldDef& d = defs[i];
    out << (i ? "," : "") << "{\"name\":" << JsonString(d.name) << ",\"type\":\""
        << FieldTypeName(d.type) << "\",\"width\":" << d.size << ",\"attributes\":"
        << JsonString(Attributes(d)) << "}";
  }
  out << "],\"rowCount\":" << ds.StoredRowCount() << ",\"rows\":[";
  for (size_t r = 0; r < rows.size(); ++r) {
    const RowView row = ds.Row(rows[r]);
    out << (r ? "," : "") << "\n{";
    for (size_t i = 0; i < defs.size(); ++i)
      out << (i ? "," : "") << JsonString(defs[i].name) << ":" << JsonValue(row, static_cast<int>(i), defs[i]);
    out << "}";
  }
  out << "]}\n";
}

void PrintText(std::ostream& out, std::string_view name, const PacketHeader& h,
               const TClientDataSet& ds, const std::vector<int>& rows) {
  const auto& defs = ds.FieldDefs();
  out << name << ": " << h.form;
  if (!h.version.empty()) out << ", version " << h.version;
  if (!h.encoding.empty()) out << ", encoding " << h.encoding;
  if (h.headerSize >= 0) out << ", header " << h.headerSize << " bytes";
  out << "\nfields: " << defs.size() << "\n";
  for (size_t i = 0; i < defs.size(); ++i) {
    const FieldDef& d = defs[i];
    const std::string width = d.type == FieldType::String ? std::to_string(d.size) : "";
    out << fmt::format("  {:>3} {:<20} {:<9} {:>5}  {}\n", i + 1, d.name, FieldTypeName(d.type), width,
                       Attributes(d));
  }
  out << "rows: " << ds.StoredRowCount() << "\n";
  for (int r : rows) {
    const RowView row = ds.Row(r);
    for (size_t i = 0; i < defs.size(); ++i) {
      if (i) out << " | ";
      out << (row.IsNull(static_cast<int>(i)) ? "<null>" : InspectValue(row, static_cast<int>(i), defs[i]));
    }
    if (ds.Status(r) == RowStatus::Inserted) out << "  (inserted)";
    if (ds.Status(r) == RowStatus::Modified) out << "  (modified)";
    out << "\n";
  }
}

void PrintCsv(std::ostream& out, const TClientDataSet& ds, const std::vector<int>& rows) {
  const auto& defs = ds.FieldDefs();
  for (size_t i = 0; i < defs.size(); ++i) out << (i ? "," : "") << CsvField(defs[i].name);
  out << "\r\n";
  for (int r : rows) {
    const RowView row = ds.Row(r);
    for (size_t i = 0; i < defs.size(); ++i) {
      if (i) out << ",";
      if (!row.IsNull(static_cast<int>(i))) out << CsvField(InspectValue(row, static_cast<int>(i), defs[i]));
    }
    out << "\r\n";
  }
}

}  // namespace

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

std::string InspectValue(RowView row, int i, const FieldDef& d) {
  switch (d.type) {
    case FieldType::String:
      return std::string(row.Str(i));
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Int64:
      return std::to_string(row.Int(i));
    case FieldType::Boolean:
      return row.Int(i) ? "true" : "false";
    case FieldType::Float: {
      char buf[40];
      auto [p, ec] = std::to_chars(buf, buf + sizeof buf, row.Float(i));
      return std::string(buf, ec == std::errc() ? p : buf);
    }
    default:
      break;
  }
  const TDateTime t = TDateTime::FromMs(row.Int(i));
  std::string out;
  if (d.type != FieldType::Time) {
    const int32_t day = t.day();
    if (day < packet::kFirstDay || day > packet::kLastDay) return fmt::format("(day {})", day);
    const CivilDate c = t.date();
    out = fmt::format("{:04}-{:02}-{:02}", c.year, c.month, c.day);
    if (d.type == FieldType::Date) return out;
    out += ' ';
  }
  const CivilTime c = t.time();
  return out + fmt::format("{:02}:{:02}:{:02}.{:03}", c.hour, c.minute, c.second, c.msec);
}

void PrintDataPacket(std::ostream& out, std::string_view name, const PacketHeader& header,
                     const TClientDataSet& ds, const InspectOptions& opts) {
  std::vector<int> rows = ds.StorageOrder();
  if (opts.head >= 0 && static_cast<size_t>(opts.head) < rows.size()) rows.resize(static_cast<size_t>(opts.head));
  switch (opts.format) {
    case InspectFormat::Text: PrintText(out, name, header, ds, rows); break;
    case InspectFormat::Json: PrintJson(out, name, header, ds, rows); break;
    case InspectFormat::Csv: PrintCsv(out, ds, rows); break;
  }
}

}  // namespace kve
