#include "inspect/pdb_print.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <string>

#include "inspect/values.h"
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

using Json = nlohmann::ordered_json;

// A text that is not UTF-8 is shown with replacement characters rather than refused.
std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

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

Json JsonValue(const PdbValue& v) {
  const auto s = Value(v);
  if (!s || !v.type) return nullptr;
  switch (*v.type) {
    case TPDBPSFieldType::PSBoolean:
      return v.integer != 0;
    case TPDBPSFieldType::PSInt8:
    case TPDBPSFieldType::PSInt16:
    case TPDBPSFieldType::PSInt32:
      return v.integer;
    case TPDBPSFieldType::PSDouble:
      if (std::isfinite(v.real)) return v.real;
      return *s;
    default:
      return *s;
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

// One record a line, so a large database streams out without being held whole.
void PrintJson(std::ostream& out, const PdbFile& db, const InspectOptions& o) {
  const PdbHeader& h = db.Header();
  const Json header = {{"form", "Palm database"},          {"name", h.name},
                       {"type", h.type},                   {"creator", h.creator},
                       {"created", PalmTime(h.created)},   {"modified", PalmTime(h.modified)},
                       {"backedUp", PalmTime(h.backedUp)}, {"recordCount", db.RecordCount()}};
  Json fields = Json::array();
  for (const PdbFieldDesc& f : db.Fields())
    fields.push_back({{"name", f.name}, {"type", TypeText(f.type)}, {"size", f.size}});
  out << "{\"file\":" << Dump(db.Label()) << ",\"header\":" << Dump(header)
      << ",\"fields\":" << Dump(fields) << ",\"rowCount\":" << db.RecordCount() << ",\"rows\":[";
  for (int r = 0; r < Shown(db, o); ++r) {
    out << (r ? "," : "") << "\n";
    if (!db.HasFieldDescription()) {
      out << Dump(Hex(db.RecordBytes(r)));
      continue;
    }
    const auto values = db.Record(r);
    Json row = Json::object();
    for (size_t i = 0; i < values.size(); ++i) row[db.Fields()[i].name] = JsonValue(values[i]);
    out << Dump(row);
  }
  out << "]}\n";
}

void PrintCsv(std::ostream& out, const PdbFile& db, const InspectOptions& o) {
  for (size_t i = 0; i < db.Fields().size(); ++i) out << (i ? "," : "") << CsvField(db.Fields()[i].name);
  out << "\r\n";
  for (int r = 0; r < Shown(db, o); ++r) {
    if (!db.HasFieldDescription()) {
      out << Hex(db.RecordBytes(r)) << "\r\n";
      continue;
    }
    const auto values = db.Record(r);
    for (size_t i = 0; i < values.size(); ++i)
      out << (i ? "," : "") << CsvField(Value(values[i]).value_or(""));
    out << "\r\n";
  }
}

}  // namespace

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
