#include "inspect/values.h"

#include <charconv>

#include <fmt/format.h>

#include "platform/dataset/packet_format.h"

namespace kve {

std::optional<std::string> InspectText(RowView row, int i, const FieldDef& d) {
  if (row.IsNull(i)) return std::nullopt;
  switch (d.type) {
    case FieldType::String: return std::string(row.Str(i));
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Int64: return std::to_string(row.Int(i));
    case FieldType::Boolean: return std::string(row.Int(i) ? "true" : "false");
    case FieldType::Float: {
      char buf[40];
      auto [p, ec] = std::to_chars(buf, buf + sizeof buf, row.Float(i));
      return std::string(buf, ec == std::errc() ? p : buf);
    }
    default: break;
  }
  const TDateTime t = TDateTime::FromMs(row.Int(i));
  std::string out;
  if (d.type != FieldType::Time) {
    if (t.day() < packet::kFirstDay || t.day() > packet::kLastDay) return fmt::format("(day {})", t.day());
    const CivilDate c = t.date();
    out = fmt::format("{:04}-{:02}-{:02}", c.year, c.month, c.day);
    if (d.type == FieldType::Date) return out;
    out += ' ';
  }
  const CivilTime c = t.time();
  return out + fmt::format("{:02}:{:02}:{:02}.{:03}", c.hour, c.minute, c.second, c.msec);
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

}  // namespace kve
