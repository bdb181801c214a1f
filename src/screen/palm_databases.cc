// The Palm databases of an export: the generic conversion of the export folder's XML files
// and the withdrawal forecast, with the progress bar following the records.

#include "screen/palm_databases.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "palm/pdb_conversion.h"
#include "params/expdados_messages.h"
#include "platform/maker/messages.h"
#include "platform/pdb/pdb_format.h"
#include "palm/prevreti.h"
#include "platform/maker/config.h"
#include "platform/maker/host_values.h"
#include "platform/maker/picture.h"
#include "screen/form_run_view.h"
#include "screen/frm_exp_dados.h"

namespace kve {
namespace {

// The progress bar follows the records of the database being written.
class ViewPdbProgress final : public palm::PdbProgress {
 public:
  explicit ViewPdbProgress(ExportRunView& view) : view_(view) {}
  // The status line names the database being built, as it names each XML file before.
  void Database(std::string_view fileName) override { view_.Status(fileName); }
  void Start(int records) override { view_.Progress(0, records); }
  void Step() override { view_.StepProgress(); }
  void Finish() override {
    view_.Status("");
    view_.ClearProgress();
  }

 private:
  ExportRunView& view_;
};

// 70000 -> "70.000", as the screen writes counts.
std::string Grouped(int64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0 && digits[i - 1] != '-') out += '.';
    out += digits[i];
  }
  return out;
}

}  // namespace

std::vector<TableOverPalmLimit> TablesOverPalmLimit(const exporting::TableOf& table) {
  std::vector<TableOverPalmLimit> over;
  for (const exporting::FileEntry& f : exporting::PalmXmlFiles()) {
    const int64_t rows = table(*f.table).RecordCount();
    if (rows > pdb::kMaxRecords) over.push_back({std::string(f.table->Name()), rows});
  }
  return over;
}

std::string PalmRecordLimitMessage(const std::vector<TableOverPalmLimit>& over) {
  std::string tables;
  for (const TableOverPalmLimit& t : over)
    tables += (tables.empty() ? "" : "; ") + ("a tabela " + t.table + " com " + Grouped(t.rows) + " registros");
  return Format(kPalmRecordLimitText, {Grouped(pdb::kMaxRecords), tables});
}

void ConvertPalmDatabases(FileSystem& files, const std::string& dirExp,
                          const std::vector<std::string>& xmlFiles, ExportRunView& view,
                          const std::function<void(const std::string&)>& log) {
  // A name of ours may have landed in a file whose name differs by case (the file system
  // takes the existing one, as Windows does): that file is ours, not a stray.
  std::vector<std::optional<std::filesystem::path>> ours;
  for (const std::string& name : xmlFiles) ours.push_back(files.HostPath(dirExp + name));
  std::vector<std::string> others;
  for (const std::string& name : files.ListFiles(dirExp, "*.xml")) {
    if (std::find(xmlFiles.begin(), xmlFiles.end(), name) != xmlFiles.end()) continue;
    const std::optional<std::filesystem::path> at = files.HostPath(dirExp + name);
    if (!at || std::find(ours.begin(), ours.end(), at) == ours.end()) others.push_back(name);
  }
  if (!others.empty() && log) {
    std::string line = dirExp + ": not written by this export, left as they are:";
    for (const std::string& name : others) line += " " + name;
    log(line);
  }
  ViewPdbProgress progress(view);
  palm::ConvertXmlFiles(files, dirExp, xmlFiles, progress);
}

void WritePrevRetiDatabase(TClientDataSet& prevReti, FileSystem& files, const std::string& dirExp,
                           ExportRunView& view) {
  palm::PrevRetiOptions options;
  options.maskProduct = palm::ProductMaskFormatter(Corvane::DBPict(0));
  options.operatorCode = Corvane::Operador();
  const maker::HostConfig& config = maker::CurrentServices().Config();
  options.separators = {config.decimal_separator, config.thousand_separator};
  ViewPdbProgress progress(view);
  palm::CriaPDBPrevReti(prevReti, files, dirExp, options, progress);
}

void TfrmExpDados::CriaPDB() {
  drlDiretorio.directory = DirExp;
  FormRunView view(*this);
  std::vector<std::string> names;
  for (const exporting::FileEntry& f : exporting::PalmXmlFiles()) names.emplace_back(f.file);
  ConvertPalmDatabases(svc_.files, DirExp, names, view, [this](const std::string& l) { Log(l); });
}

void TfrmExpDados::CriaPDBPrevReti() {
  FormRunView view(*this);
  WritePrevRetiDatabase(exportTables["cdsPrevReti"], svc_.files, DirExp, view);
}

}  // namespace kve
