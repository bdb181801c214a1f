#include "platform/pdb/pdb_inspect.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/pdb/pdb_format.h"

namespace kve::pdb {
namespace {

std::string PalmTime(uint32_t seconds) {
  if (seconds == 0) return {};
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

// Texts in a tab-separated line: a tab, newline or backslash would break the columns.
std::string Cell(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

std::string Json(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"')
      out += "\\\"";
    else if (c == '\\')
      out += "\\\\";
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

std::string JsonValue(const PdbValue& v) {
  if (!v.type) return "null";
  switch (*v.type) {
    case TPDBPSFieldType::PSString:
      return Json(v.text);
    case TPDBPSFieldType::PSBoolean:
      return v.integer ? "true" : "false";
    case TPDBPSFieldType::PSDate: {
      auto d = v.Date();
      if (!d) return v.integer == 0 ? "null" : Json(v.Text());
      return fmt::format("\"{:04}-{:02}-{:02}\"", d->year, d->month, d->day);
    }
    case TPDBPSFieldType::PSDouble:
      return std::isfinite(v.real) ? v.Text() : Json(v.Text());
    default:
      return std::to_string(v.integer);
  }
}

size_t Shown(const PdbFile& db, const InspectOptions& o) {
  const auto n = static_cast<size_t>(db.RecordCount());
  return o.maxRecords < 0 ? n : std::min(n, static_cast<size_t>(o.maxRecords));
}

void PrintText(const PdbFile& db, std::ostream& out, const InspectOptions& o) {
  const PdbHeader& h = db.Header();
  out << "file      " << db.Label() << "\n"
      << "kind      pdb\n"
      << "name      " << h.name << "\n"
      << "type      " << h.type << "\n"
      << "creator   " << h.creator << "\n"
      << "created   " << PalmTime(h.created) << "\n"
      << "modified  " << PalmTime(h.modified) << "\n"
      << "backed up " << PalmTime(h.backedUp) << "\n"
      << "records   " << db.RecordCount() << "\n";
  if (!db.HasFieldDescription()) {
    out << "fields    (no field description)\n";
    for (size_t i = 0; i < Shown(db, o); ++i) {
      const auto bytes = db.RecordBytes(static_cast<int>(i));
      out << "record " << i + 1 << ": " << bytes.size() << " bytes " << Hex(bytes) << "\n";
    }
    return;
  }
  out << "fields    " << db.Fields().size() << "\n";
  for (size_t i = 0; i < db.Fields().size(); ++i) {
    const PdbFieldDesc& f = db.Fields()[i];
    out << fmt::format("  {:>3} {:<20} {:<10} size {}\n", i + 1, f.name, TypeText(f.type), f.size);
  }
  std::string line;
  for (size_t i = 0; i < db.Fields().size(); ++i) line += (i ? "\t" : "") + db.Fields()[i].name;
  out << line << "\n";
  for (size_t r = 0; r < Shown(db, o); ++r) {
    line.clear();
    const auto values = db.Record(static_cast<int>(r));
    for (size_t i = 0; i < values.size(); ++i) line += (i ? "\t" : "") + Cell(values[i].Text());
    out << line << "\n";
  }
}

void PrintJson(const PdbFile& db, std::ostream& out, const InspectOptions& o) {
  const PdbHeader& h = db.Header();
  out << "{\"file\":" << Json(db.Label()) << ",\"kind\":\"pdb\",\"header\":{"
      << "\"name\":" << Json(h.name) << ",\"type\":" << Json(h.type)
      << ",\"creator\":" << Json(h.creator) << ",\"created\":" << Json(PalmTime(h.created))
      << ",\"modified\":" << Json(PalmTime(h.modified))
      << ",\"backedUp\":" << Json(PalmTime(h.backedUp)) << ",\"records\":" << db.RecordCount()
      << "},\"fields\":[";
  for (size_t i = 0; i < db.Fields().size(); ++i) {
    const PdbFieldDesc& f = db.Fields()[i];
    out << (i ? "," : "") << "{\"name\":" << Json(f.name) << ",\"type\":" << Json(TypeText(f.type))
        << ",\"size\":" << f.size << "}";
  }
  out << "],\"records\":[";
  for (size_t r = 0; r < Shown(db, o); ++r) {
    out << (r ? "," : "");
    if (!db.HasFieldDescription()) {
      out << Json(Hex(db.RecordBytes(static_cast<int>(r))));
      continue;
    }
    const auto values = db.Record(static_cast<int>(r));
    out << "[";
    for (size_t i = 0; i < values.size(); ++i) out << (i ? "," : "") << JsonValue(values[i]);
    out << "]";
  }
  out << "]}\n";
}

}  // namespace

void PrintPdb(const PdbFile& db, std::ostream& out, const InspectOptions& options) {
  if (options.json)
    PrintJson(db, out, options);
  else
    PrintText(db, out, options);
}

void InspectPdbFile(const std::filesystem::path& file, std::ostream& out,
                    const InspectOptions& options) {
  PrintPdb(PdbFile::Load(file), out, options);
}

}  // namespace kve::pdb
