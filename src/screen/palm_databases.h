#pragma once
// The Palm databases of an export, with the progress bar following the records of the
// database being written: the generic conversion of the export folder's XML files, and the
// withdrawal forecast.

#include <string>

#include "platform/dataset/dataset.h"
#include "platform/fs/file_system.h"
#include "screen/export_run_view.h"

namespace kve {

// Every XML file of `dirExp` but the forecast's as a Palm database (palm::ConvertXmlFolder).
void ConvertPalmDatabases(FileSystem& files, const std::string& dirExp, ExportRunView& view);

// PREVRETI.pdb from `prevReti` (palm::CriaPDBPrevReti), with the host's product mask,
// operator and number separators.
void WritePrevRetiDatabase(TClientDataSet& prevReti, FileSystem& files, const std::string& dirExp,
                           ExportRunView& view);

}  // namespace kve
