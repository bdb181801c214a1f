#include "platform/pdb/pdb_inspect.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/pdb/pdb_format.h"

namespace kve::pdb {
namespace {

std::string PalmTime(uint32_t seconds) {
  if (seconds == 0) return "never";
  const TDateTime t = FromPalmSeconds(seconds);
  const CivilDate d = t.date();
  const CivilTime c = t.time();
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", d.year, d.month, d.day, c.hour,
                     c.minute, c.second);
}

std::string TypeText(const std::optional<TPDBPSFieldType>& t) {
  return t ? std::string(PSTypeName(*t)) : std::string("none");
}

std::string Hex(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) out += fmt::format("{:02X}", static_cast<unsigned char>(c));
  return out;
}

std::string Json(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\')
      out += std::string("\\") + c;
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (u < 0x20)
      out += fmt::format("\\u{:04x}", u);
    else
      out += c;
  }
  return out + "\"";
}

std::string Csv(std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(s);
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// The value in the data-packet view's words; nothing for "no date".
std::optional<std::string> Value(const PdbValue& v) {
  if (!v.type) return std::string();
  switch (*v.type) {
    case TPDBPSFieldType::PSBoolean:
      return std::string(v.integer ? "true" : "false");
    case TPDBPSFieldType::PSDate: {
      if (v.integer == 0) return std::nullopt;
      auto d = v.Date();
      if (!d) return v.Text();  // "invalid date 0x...."
      return fmt::format("{:04}-{:02}-{:02}", d->year, d->month, d->day);
    }
    default:
      return v.Text();
  }
}

std::string JsonValue(const PdbValue& v) {
  const auto s = Value(v);
  if (!s) return "null";
  if (!v.type) return "null";
  switch (*v.type) {
    case TPDBPSFieldType::PSBoolean:
    case TPDBPSFieldType::PSInt8:
    case TPDBPSFieldType::PSInt16:
    case TPDBPSFieldType::PSInt32:
      return *s;
    case TPDBPSFieldType::PSDouble:
      return std::isfinite(v.real) ? *s : Json(*s);
    default:
      return Json(*s);
  }
}

int Shown(const PdbFile& db, const InspectOptions& o) {
  return o.head < 0 ? db.RecordCount()
                    : static_cast<int>(std::min<int64_t>(db.RecordCount(), o.head));
}

void PrintText(std::ostream& out, const PdbFile& db, const InspectOptions& o) {
  const PdbHeader& h = db.Header();
  out << db.Label() << ": Palm database \"" << h.name << "\", type " << h.type << ", creator "
      << h.creator << "\ncreated " << PalmTime(h.created) << ", modified " << PalmTime(h.modified)
      << ", backed up " << PalmTime(h.backedUp) << "\n";
  if (!db.HasFieldDescription()) {
    out << "fields: no description\nrows: " << db.RecordCount() << "\n";
    for (int r = 0; r < Shown(db, o); ++r) {
      const auto bytes = db.RecordBytes(r);
      out << "  " << bytes.size() << " bytes: " << Hex(bytes) << "\n";
    }
    return;
  }
  out << "fields: " << db.Fields().size() << "\n";
  for (size_t i = 0; i < db.Fields().size(); ++i) {
    const PdbFieldDesc& f = db.Fields()[i];
    out << fmt::format("  {:>3} {:<20} {:<9} size {}\n", i + 1, f.name, TypeText(f.type), f.size);
  }
  out << "rows: " << db.RecordCount() << "\n";
  for (int r = 0; r < Shown(db, o); ++r) {
    const auto values = db.Record(r);
    out << "  ";
    for (size_t i = 0; i < values.size(); ++i)
      out << (i ? " | " : "") << Value(values[i]).value_or("<no date>");
    out << "\n";
  }
}

void PrintJson(std::ostream& out, const PdbFile& db, const InspectOptions& o) {
  const PdbHeader& h = db.Header();
  out << "{\"file\":" << Json(db.Label())
      << ",\"header\":{\"form\":\"Palm database\",\"name\":" << Json(h.name)
      << ",\"type\":" << Json(h.type) << ",\"creator\":" << Json(h.creator)
      << ",\"created\":" << Json(PalmTime(h.created))
      << ",\"modified\":" << Json(PalmTime(h.modified))
      << ",\"backedUp\":" << Json(PalmTime(h.backedUp)) << ",\"recordCount\":" << db.RecordCount()
      << "},\"fields\":[";
  for (size_t i = 0; i < db.Fields().size(); ++i) {
    const PdbFieldDesc& f = db.Fields()[i];
    out << (i ? "," : "") << "{\"name\":" << Json(f.name) << ",\"type\":" << Json(TypeText(f.type))
        << ",\"size\":" << f.size << "}";
  }
  out << "],\"rowCount\":" << db.RecordCount() << ",\"rows\":[";
  for (int r = 0; r < Shown(db, o); ++r) {
    out << (r ? "," : "") << "\n";
    if (!db.HasFieldDescription()) {
      out << Json(Hex(db.RecordBytes(r)));
      continue;
    }
    const auto values = db.Record(r);
    out << "{";
    for (size_t i = 0; i < values.size(); ++i)
      out << (i ? "," : "") << Json(db.Fields()[i].name) << ":" << JsonValue(values[i]);
    out << "}";
  }
  out << "]}\n";
}

void PrintCsv(std::ostream& out, const PdbFile& db, const InspectOptions& o) {
  for (size_t i = 0; i < db.Fields().size(); ++i) out << (i ? "," : "") << Csv(db.Fields()[i].name);
  out << "\r\n";
  for (int r = 0; r < Shown(db, o); ++r) {
    if (!db.HasFieldDescription()) {
      out << Hex(db.RecordBytes(r)) << "\r\n";
      continue;
    }
    const auto values = db.Record(r);
    for (size_t i = 0; i < values.size(); ++i)
      out << (i ? "," : "") << Csv(Value(values[i]).value_or(""));
    out << "\r\n";
  }
}

}  // namespace

bool IsPdb(std::string_view b) {
  if (b.size() < kHeaderSize) return false;
  const size_t nameEnd = b.substr(0, kNameSize).find('\0');
  if (nameEnd == std::string_view::npos || nameEnd == 0) return false;
  for (size_t i = 0; i < 8; ++i) {
    const char c = b[kOffType + i];
    if (c < 0x20 || c > 0x7E) return false;
  }
  const size_t count = GetU16(b.data() + kOffCount);
  return kHeaderSize + count * kRecordEntrySize <= b.size();
}

void PrintPdb(std::ostream& out, const PdbFile& db, const InspectOptions& opts) {
  switch (opts.format) {
    case InspectFormat::Text:
      PrintText(out, db, opts);
      break;
    case InspectFormat::Json:
      PrintJson(out, db, opts);
      break;
    case InspectFormat::Csv:
      PrintCsv(out, db, opts);
      break;
  }
}

}  // namespace kve::pdb
