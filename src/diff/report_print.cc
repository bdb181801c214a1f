#include "diff/report_print.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include "inspect/values.h"

namespace kve::diff {
namespace {

using Outcome = TableReport::Outcome;
using Json = nlohmann::ordered_json;

std::string Quoted(const std::optional<std::string>& v) { return v ? "\"" + *v + "\"" : "<null>"; }

std::optional<std::string> Cell(const TClientDataSet& t, int row, int column) {
  // the compared tables have no index: stored order is file order
  return InspectText(t.Row(row), column, t.FieldDefs()[static_cast<size_t>(column)]);
}

// "CDFILIAL=0001, CDPRODUTO=42" by key, "row 12" (1-based) by position.
std::string RowName(const TableReport& r, const TClientDataSet& t, int row) {
  if (r.diff.key.empty()) return fmt::format("row {}", row + 1);
  std::string out;
  for (const std::string& k : r.diff.key) {
    if (!out.empty()) out += ", ";
    out += k + "=" + Quoted(Cell(t, row, t.FindFieldIndex(k)));
  }
  return out;
}

std::string RowValues(const TClientDataSet& t, int row) {
  std::string out;
  for (int c = 0; c < t.FieldCount(); ++c) {
    if (c) out += ", ";
    out += t.FieldDefs()[static_cast<size_t>(c)].name + "=" + Quoted(Cell(t, row, c));
  }
  return out;
}

std::string FilesLine(const TableReport& r) {
  const auto side = [](const std::string& f, const std::optional<FileForm>& form) {
    return form ? fmt::format("{} ({})", f, FormName(*form)) : f;
  };
  return side(r.oldFile, r.oldForm) + " -> " + side(r.newFile, r.newForm);
}

std::string Matching(const TableReport& r) {
  std::string m = r.diff.key.empty() ? "rows by position" : "rows by key " + fmt::format("{}", fmt::join(r.diff.key, ", "));
  if (r.palmForm) m += ", as the Palm database holds them";
  return m;
}

std::string Counts(const TableDiff& d) {
  return fmt::format("{} added, {} removed, {} changed, {} unchanged", d.added.size(), d.removed.size(),
                     d.changed.size(), d.unchanged);
}

std::string Rows(int64_t n) { return fmt::format("{} row{}", n, n == 1 ? "" : "s"); }

void PrintTable(std::ostream& out, const TableReport& r, const PrintOptions& o) {
  switch (r.outcome) {
    case Outcome::Failed:
      out << r.table << ": error: " << r.error << "\n";
      return;
    case Outcome::OnlyOld:
      out << r.table << ": only in old: " << r.oldFile << " (" << Rows(r.rows) << ")\n";
      return;
    case Outcome::OnlyNew:
      out << r.table << ": only in new: " << r.newFile << " (" << Rows(r.rows) << ")\n";
      return;
    case Outcome::Equal:
      out << r.table << ": equal (" << Rows(r.diff.unchanged) << "; " << Matching(r) << ")\n";
      if (!o.brief && !r.notCompared.empty())
        out << "  not compared: " << fmt::format("{}", fmt::join(r.notCompared, ", ")) << "\n";
      return;
    case Outcome::Differ:
      break;
  }
  const TableDiff& d = r.diff;
  out << r.table << ": " << Counts(d) << " (" << Matching(r) << ")\n";
  if (o.brief) return;
  out << "  " << FilesLine(r) << "\n";
  const auto list = [&](const char* what, const std::vector<std::string>& names) {
    if (!names.empty()) out << "  " << what << ": " << fmt::format("{}", fmt::join(names, ", ")) << "\n";
  };
  list("columns only in old", d.onlyOld);
  list("columns only in new", d.onlyNew);
  list("type changed", d.typeChanges);
  list("not compared", r.notCompared);
  if (!r.note.empty()) out << "  " << r.note << "\n";
  if (d.sharedKeyRows)
    out << "  " << d.sharedKeyRows << " rows share their key with another row: matched in order\n";
  const TClientDataSet& ot = *r.oldData;
  const TClientDataSet& nt = *r.newData;
  for (int row : d.removed) out << "- " << RowName(r, ot, row) << ": " << RowValues(ot, row) << "\n";
  for (int row : d.added) out << "+ " << RowName(r, nt, row) << ": " << RowValues(nt, row) << "\n";
  for (const RowChange& c : d.changed) {
    out << "~ " << RowName(r, nt, c.newRow) << ":";
    for (size_t i = 0; i < c.columns.size(); ++i) {
      const ColumnPair& p = d.columns[static_cast<size_t>(c.columns[i])];
      out << (i ? "; " : " ") << p.name << " " << Quoted(Cell(ot, c.oldRow, p.oldIndex)) << " -> "
          << Quoted(Cell(nt, c.newRow, p.newIndex));
    }
    out << "\n";
  }
}

Json Value(const std::optional<std::string>& v) { return v ? Json(*v) : Json(nullptr); }

Json RowObject(const TClientDataSet& t, int row) {
  Json o = Json::object();
  for (int c = 0; c < t.FieldCount(); ++c) o[t.FieldDefs()[static_cast<size_t>(c)].name] = Value(Cell(t, row, c));
  return o;
}

Json KeyObject(const TableReport& r, const TClientDataSet& t, int row) {
  Json o = Json::object();
  for (const std::string& k : r.diff.key) o[k] = Value(Cell(t, row, t.FindFieldIndex(k)));
  return o;
}

const char* OutcomeName(Outcome o) {
  switch (o) {
    case Outcome::Equal: return "equal";
    case Outcome::Differ: return "differ";
    case Outcome::OnlyOld: return "only-old";
    case Outcome::OnlyNew: return "only-new";
    case Outcome::Failed: return "error";
  }
  return "";
}

Json TableJson(const TableReport& r) {
  Json j;
  j["table"] = r.table;
  j["outcome"] = OutcomeName(r.outcome);
  j["old"] = r.oldFile.empty() ? Json(nullptr) : Json(r.oldFile);
  j["new"] = r.newFile.empty() ? Json(nullptr) : Json(r.newFile);
  if (r.oldForm) j["oldForm"] = FormName(*r.oldForm);
  if (r.newForm) j["newForm"] = FormName(*r.newForm);
  if (r.outcome == Outcome::Failed) {
    j["error"] = r.error;
    return j;
  }
  if (r.outcome == Outcome::OnlyOld || r.outcome == Outcome::OnlyNew) {
    j["rows"] = r.rows;
    return j;
  }
  const TableDiff& d = r.diff;
  j["matchedBy"] = d.key.empty() ? Json("position") : Json(d.key);
  j["palmForm"] = r.palmForm;
  if (!r.note.empty()) j["note"] = r.note;
  j["columnsOnlyOld"] = d.onlyOld;
  j["columnsOnlyNew"] = d.onlyNew;
  j["typeChanges"] = d.typeChanges;
  j["notCompared"] = r.notCompared;
  j["sharedKeyRows"] = d.sharedKeyRows;
  j["counts"] = {{"added", d.added.size()}, {"removed", d.removed.size()}, {"changed", d.changed.size()},
                 {"unchanged", d.unchanged}};
  const TClientDataSet& ot = *r.oldData;
  const TClientDataSet& nt = *r.newData;
  Json removed = Json::array(), added = Json::array(), changed = Json::array();
  for (int row : d.removed) removed.push_back({{"row", row + 1}, {"values", RowObject(ot, row)}});
  for (int row : d.added) added.push_back({{"row", row + 1}, {"values", RowObject(nt, row)}});
  for (const RowChange& c : d.changed) {
    Json cols = Json::object();
    for (int i : c.columns) {
      const ColumnPair& p = d.columns[static_cast<size_t>(i)];
      cols[p.name] = {{"old", Value(Cell(ot, c.oldRow, p.oldIndex))}, {"new", Value(Cell(nt, c.newRow, p.newIndex))}};
    }
    Json e = {{"oldRow", c.oldRow + 1}, {"newRow", c.newRow + 1}};
    if (!d.key.empty()) e["key"] = KeyObject(r, nt, c.newRow);
    e["columns"] = std::move(cols);
    changed.push_back(std::move(e));
  }
  j["removed"] = std::move(removed);
  j["added"] = std::move(added);
  j["changed"] = std::move(changed);
  return j;
}

}  // namespace

void PrintText(std::ostream& out, const Report& report, const PrintOptions& options) {
  if (report.folders) out << "--- " << report.oldPath << "\n+++ " << report.newPath << "\n";
  int equal = 0, differ = 0, oneSide = 0, failed = 0;
  for (const TableReport& t : report.tables) {
    PrintTable(out, t, options);
    switch (t.outcome) {
      case Outcome::Equal: ++equal; break;
      case Outcome::Differ: ++differ; break;
      case Outcome::OnlyOld:
      case Outcome::OnlyNew: ++oneSide; break;
      case Outcome::Failed: ++failed; break;
    }
  }
  if (report.folders)
    out << fmt::format("summary: {} equal, {} differ, {} on one side only, {} unreadable\n", equal, differ,
                       oneSide, failed);
}

void PrintJson(std::ostream& out, const Report& report) {
  Json j;
  j["old"] = report.oldPath;
  j["new"] = report.newPath;
  j["equal"] = report.ExitStatus() == 0;
  Json tables = Json::array();
  for (const TableReport& t : report.tables) tables.push_back(TableJson(t));
  j["tables"] = std::move(tables);
  out << j.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
}

}  // namespace kve::diff
