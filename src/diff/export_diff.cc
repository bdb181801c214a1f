#include "diff/export_diff.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "catalogue/catalogue.h"
#include "platform/common/ascii.h"
#include "platform/common/error.h"

namespace kve::diff {
namespace {

namespace fs = std::filesystem;

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The columns the withdrawal forecast's writer fills from the workstation instead of the
// row (palm/prevreti.h): the quantities in the host's number form, the search code laid into
// the product mask, the operator who exported.
const std::vector<std::string> kPrevRetiRewritten = {"QTPREVRETI", "QTCONSRETI", "CDPSQPROD", "CDOPERADOR"};

std::vector<std::string> CatalogueKey(const std::string& table) {
  for (const exporting::TableSpec& t : exporting::Catalogue())
    if (!t.table.empty() && EqualsIgnoreCase(t.table, table)) {
      std::vector<std::string> key;
      for (std::string_view f : t.KeyFields()) key.emplace_back(f);
      return key;
    }
  return {};
}

bool HasFields(const TClientDataSet& t, const std::vector<std::string>& fields, std::string& missing) {
  for (const std::string& f : fields)
    if (t.FindFieldIndex(f) < 0) {
      missing = f;
      return false;
    }
  return true;
}

TableReport Compare(const std::string& table, const fs::path& oldFile, const fs::path& newFile,
                    const DiffOptions& options) {
  TableReport r;
  r.table = table;
  r.oldFile = oldFile.string();
  r.newFile = newFile.string();
  try {
    TableFile o = LoadTableFile(oldFile);
    TableFile n = LoadTableFile(newFile);
    r.oldForm = o.form;
    r.newForm = n.form;
    const bool oldPalm = o.form == FileForm::PalmDatabase, newPalm = n.form == FileForm::PalmDatabase;
    r.palmForm = oldPalm != newPalm;
    if (r.palmForm) {
      if (!oldPalm) o.data = PalmForm(*o.data);
      if (!newPalm) n.data = PalmForm(*n.data);
      if (table == "PREVRETI") r.notCompared = kPrevRetiRewritten;
    }
    std::vector<std::string> key = options.key ? *options.key : CatalogueKey(table);
    std::string missing;
    if (!key.empty() && !(HasFields(*o.data, key, missing) && HasFields(*n.data, key, missing))) {
      r.note = fmt::format("key field {} missing: rows matched by position", missing);
      key.clear();
    }
    r.diff = DiffTables(*o.data, *n.data, key, r.notCompared);
    r.outcome = r.diff.Equal() ? TableReport::Outcome::Equal : TableReport::Outcome::Differ;
    r.oldData = std::move(o.data);
    r.newData = std::move(n.data);
  } catch (const Error& e) {
    r.outcome = TableReport::Outcome::Failed;
    r.error = e.what();
  }
  return r;
}

TableReport OneSide(const std::string& table, const fs::path& file, bool old) {
  TableReport r;
  r.table = table;
  (old ? r.oldFile : r.newFile) = file.string();
  try {
    TableFile t = LoadTableFile(file);
    (old ? r.oldForm : r.newForm) = t.form;
    r.rows = t.data->StoredRowCount();
    r.outcome = old ? TableReport::Outcome::OnlyOld : TableReport::Outcome::OnlyNew;
  } catch (const Error& e) {
    r.outcome = TableReport::Outcome::Failed;
    r.error = e.what();
  }
  return r;
}

// Forms in the order a cross-form pairing prefers them.
int FormRank(const std::string& ext) { return ext == ".XML" ? 0 : ext == ".CDS" ? 1 : 2; }

// The table files of a folder: table -> extension (upper case) -> file.
using FolderFiles = std::map<std::string, std::map<std::string, fs::path>>;
FolderFiles ListTableFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  fs::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc)) continue;
    const std::string ext = Upper(it->path().extension().string());
    if (ext == ".XML" || ext == ".CDS" || ext == ".PDB") files.push_back(it->path());
  }
  if (ec) throw IoError(fmt::format("{}: cannot list the folder: {}", folder.string(), ec.message()));
  std::sort(files.begin(), files.end());
  FolderFiles out;
  // Two files whose names differ only in letter case hold the same table in the same form;
  // the first in name order stands for both.
  for (const fs::path& f : files) out[Upper(f.stem().string())].emplace(Upper(f.extension().string()), f);
  return out;
}

void DiffFolders(Report& report, const fs::path& oldDir, const fs::path& newDir, const DiffOptions& options) {
  const FolderFiles oldFiles = ListTableFiles(oldDir), newFiles = ListTableFiles(newDir);
  std::vector<std::string> tables;
  for (const auto& [t, _] : oldFiles) tables.push_back(t);
  for (const auto& [t, _] : newFiles)
    if (!oldFiles.count(t)) tables.push_back(t);
  std::sort(tables.begin(), tables.end());
  for (const std::string& t : tables) {
    std::map<std::string, fs::path> o, n;
    if (auto it = oldFiles.find(t); it != oldFiles.end()) o = it->second;
    if (auto it = newFiles.find(t); it != newFiles.end()) n = it->second;
    for (auto it = o.begin(); it != o.end();) {
      if (auto m = n.find(it->first); m != n.end()) {
        report.tables.push_back(Compare(t, it->second, m->second, options));
        n.erase(m);
        it = o.erase(it);
      } else {
        ++it;
      }
    }
    const auto best = [](const std::map<std::string, fs::path>& files) {
      return std::min_element(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return FormRank(a.first) < FormRank(b.first);
      });
    };
    if (!o.empty() && !n.empty()) {
      const auto a = best(o), b = best(n);
      report.tables.push_back(Compare(t, a->second, b->second, options));
      o.erase(a);
      n.erase(b);
    }
    for (const auto& [_, f] : o) report.tables.push_back(OneSide(t, f, true));
    for (const auto& [_, f] : n) report.tables.push_back(OneSide(t, f, false));
  }
}

}  // namespace

int Report::ExitStatus() const {
  int status = 0;
  for (const TableReport& t : tables) {
    if (t.outcome == TableReport::Outcome::Failed) return 2;
    if (t.outcome != TableReport::Outcome::Equal) status = 1;
  }
  return status;
}

Report DiffPaths(const fs::path& oldPath, const fs::path& newPath, const DiffOptions& options) {
  Report report;
  report.oldPath = oldPath.string();
  report.newPath = newPath.string();
  std::error_code ec;
  const auto kind = [&](const fs::path& p) {
    const fs::file_status s = fs::status(p, ec);
    if (fs::is_directory(s)) return 'd';
    if (fs::exists(s)) return 'f';
    throw IoError(fmt::format("{}: no such file or folder", p.string()));
  };
  const char o = kind(oldPath), n = kind(newPath);
  if (o != n)
    throw Error(fmt::format("{} is a {} but {} is a {}: compare two files or two folders", oldPath.string(),
                            o == 'd' ? "folder" : "file", newPath.string(), n == 'd' ? "folder" : "file"));
  report.folders = o == 'd';
  if (report.folders) {
    DiffFolders(report, oldPath, newPath, options);
  } else {
    std::string table = Upper(oldPath.stem().string());
    if (CatalogueKey(table).empty() && !CatalogueKey(Upper(newPath.stem().string())).empty())
      table = Upper(newPath.stem().string());
    report.tables.push_back(Compare(table, oldPath, newPath, options));
  }
  return report;
}

}  // namespace kve::diff
