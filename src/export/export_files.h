#pragma once
// The writing of an export's files in the target's format and order: the Palm's XML files,
// and the eeePC's binary files staged and renamed into place only when all were written.

#include <functional>
#include <string>
#include <string_view>

#include "catalogue/catalogue.h"
#include "platform/dataset/dataset.h"
#include "platform/fs/file_system.h"

namespace kve::exporting {

// The dataset that holds a catalogue table.
using TableOf = std::function<TClientDataSet&(const TableSpec&)>;

// Told before each file is written: its 1-based place among `count` files and its name.
using FileProgress = std::function<void(int done, int count, std::string_view file)>;

// Writes the 35 XML files of a Palm export into `dirExp` (a folder path ending with a
// backslash), in order, each replacing a file of the same name whole. The first failure stops
// the writing; the files written before it stay.
void WritePalmXmlFiles(FileSystem& fs, std::string_view dirExp, const TableOf& table,
                       const FileProgress& progress);

// Writes the 34 binary files of an eeePC export, then DADOS_EEPC.CDS: `bytes(i)` gives those
// of EeepcFiles()[i], valid until the next call; `settings()` builds those of the settings
// file, after the other files are written. The eeePC reads these files as one export, so none
// replaces the earlier export's file until all are written: each is written under a temporary
// name in `dirExp` first, and only then renamed into place, the settings file last. On failure
// the temporaries are removed and the earlier export stays whole (unless the failure strikes
// between two renames, where the files already renamed are the new ones).
void WriteEeepcBytes(FileSystem& fs, std::string_view dirExp,
                     const std::function<std::string_view(size_t i)>& bytes,
                     const std::function<std::string()>& settings, const FileProgress& progress);

// A table as the bytes of a binary file, its errors naming `path`.
std::string BinaryPacket(const TClientDataSet& ds, std::string_view path);

// The temporary name under which an eeePC file is staged in its folder.
std::string StagedName(std::string_view file);

}  // namespace kve::exporting
