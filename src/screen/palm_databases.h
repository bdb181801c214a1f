#pragma once
// The Palm databases of an export, with the progress bar following the records of the
// database being written: the generic conversion of the export folder's XML files, and the
// withdrawal forecast.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/export_files.h"
#include "platform/dataset/dataset.h"
#include "platform/fs/file_system.h"
#include "screen/export_run_view.h"

namespace kve {

// A table whose Palm database would hold more records than a Palm database can.
struct TableOverPalmLimit {
  std::string table;  // "ITEMAF"
  int64_t rows = 0;
};

// The tables of the Palm's XML files (the forecast's included: one record a row) whose
// database would pass the record limit, in writing order. Checked once the tables are in, so
// that an export refused for it has written nothing.
std::vector<TableOverPalmLimit> TablesOverPalmLimit(const exporting::TableOf& table);

// The screen's message for them (kPalmRecordLimitText): each table with its rows.
std::string PalmRecordLimitMessage(const std::vector<TableOverPalmLimit>& over);

// The XML files `xmlFiles` of `dirExp`, those this export wrote, but the forecast's as Palm
// databases (palm::ConvertXmlFiles). Other XML files of the folder are left as they are, and
// named to `log`.
void ConvertPalmDatabases(FileSystem& files, const std::string& dirExp,
                          const std::vector<std::string>& xmlFiles, ExportRunView& view,
                          const std::function<void(const std::string&)>& log);

// PREVRETI.pdb from `prevReti` (palm::CriaPDBPrevReti), with the host's product mask,
// operator and number separators.
void WritePrevRetiDatabase(TClientDataSet& prevReti, FileSystem& files, const std::string& dirExp,
                           ExportRunView& view);

}  // namespace kve
