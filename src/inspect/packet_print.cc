#include "inspect/packet_print.h"

#include <cmath>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "inspect/values.h"

namespace kve {
namespace {

using Json = nlohmann::ordered_json;

// A text that is not UTF-8 is shown with replacement characters rather than refused.
std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

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

// Numbers and booleans bare, everything else as its text; a NaN or an infinity, which JSON
// cannot hold, as its text.
Json JsonValue(RowView row, int i, const FieldDef& d) {
  if (row.IsNull(i)) return nullptr;
  switch (d.type) {
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Int64:
      return row.Int(i);
    case FieldType::Boolean:
      return row.Int(i) != 0;
    case FieldType::Float:
      if (std::isfinite(row.Float(i))) return row.Float(i);
      break;
    default:
      break;
  }
  return *InspectText(row, i, d);
}

// One row a line, so a large table streams out without being held whole.
void PrintJson(std::ostream& out, std::string_view name, const PacketHeader& h,
               const TClientDataSet& ds, const std::vector<int>& rows) {
  const auto& defs = ds.FieldDefs();
  Json header = {{"form", h.form}, {"version", h.version}, {"encoding", h.encoding}};
  if (h.headerSize >= 0) {
    header["fieldCount"] = h.fieldCount;
    header["recordCount"] = h.recordCount;
    header["headerSize"] = h.headerSize;
  }
  Json fields = Json::array();
  for (const FieldDef& d : defs)
    fields.push_back({{"name", d.name},
                      {"type", FieldTypeName(d.type)},
                      {"width", d.size},
                      {"attributes", Attributes(d)}});
  out << "{\"file\":" << Dump(std::string(name)) << ",\"header\":" << Dump(header)
      << ",\"fields\":" << Dump(fields) << ",\"rowCount\":" << ds.StoredRowCount() << ",\"rows\":[";
  for (size_t r = 0; r < rows.size(); ++r) {
    const RowView row = ds.Row(rows[r]);
    Json o = Json::object();
    for (size_t i = 0; i < defs.size(); ++i) o[defs[i].name] = JsonValue(row, static_cast<int>(i), defs[i]);
    out << (r ? "," : "") << "\n" << Dump(o);
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
      out << InspectText(row, static_cast<int>(i), defs[i]).value_or("<null>");
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
      out << CsvField(InspectText(row, static_cast<int>(i), defs[i]).value_or(""));
    }
    out << "\r\n";
  }
}

}  // namespace

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
