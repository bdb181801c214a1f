#pragma once
// The generic conversion of an export's XML table files into Palm databases: every "*.xml"
// of the export folder but the withdrawal forecast becomes a ".pdb" of the same base name,
// fields and values taken from the table's own columns.
//
// Column types map one PS width down, and values are cut to that width:
//   text -> PSString          16-bit integer -> PSInt8 (low 8 bits)
//   32-bit -> PSInt16 (low 16 bits)    64-bit -> PSInt32 (low 32 bits)
//   date, date-time -> PSDate (the date; a time of day is dropped)
//   floating point -> PSDouble (holding the single-precision value)
//   boolean -> PSBoolean      time -> a field without type, never written
// A null is written as its zero: empty text, 0, false; a null date leaves the field at "no
// date".

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "palm/progress.h"
#include "platform/dataset/dataset.h"
#include "platform/fs/file_system.h"
#include "platform/pdb/pdb_writer.h"

namespace kve::palm {

// The withdrawal forecast's file, which has a layout of its own (prevreti.h).
inline constexpr std::string_view kPrevRetiDbName = "PREVRETI";

// The PS type of a column type, read from the type table by position; nothing when the
// column type has none.
std::optional<TPDBPSFieldType> PSTypeOf(FieldType t);

// Empties the writer's field list, and drops an unfinished database, on every exit, so
// nothing of one database (or of a failed one) reaches the next.
class FieldListGuard {
 public:
  explicit FieldListGuard(TPDBPocketStudio& pdm) : pdm_(pdm) {}
  ~FieldListGuard() {
    pdm_.CancelDatabase();
    pdm_.Fields().Clear();
  }
  FieldListGuard(const FieldListGuard&) = delete;
  FieldListGuard& operator=(const FieldListGuard&) = delete;

 private:
  TPDBPocketStudio& pdm_;
};

// The fixed settings of the export's writer: creator "RKVE", type "DBCS", write-only.
void ConfigureWriter(TPDBPocketStudio& pdm);

// Appends one field per column of `ds`, in column order: its name, its PS type, size 0.
void DefineFields(const TClientDataSet& ds, TPDBPocketStudio& pdm);

// Copies every row of `ds` into the open database of `pdm`, field i from column i, reporting
// each record to `progress`.
void ImportaPDB(TClientDataSet& ds, TPDBPocketStudio& pdm, PdbProgress& progress);

// Converts one XML data-packet file into the database `pdb` named `dbName`. The field list
// of `pdm` is empty again afterwards, and a failure leaves no partial file behind.
void ConvertXmlFile(const std::filesystem::path& xml, const std::filesystem::path& pdb,
                    const std::string& dbName, TPDBPocketStudio& pdm, PdbProgress& progress);

// The names of the folder's files that the conversion takes: regular files whose name ends in
// ".xml" in any letter case, in byte order.
std::vector<std::string> ListXmlFiles(const std::filesystem::path& folder);

// Converts every listed file except exactly "PREVRETI.xml" and reports Finish at the end,
// also when there was nothing to convert. Returns the names of the databases written.
// The first failure stops the conversion; databases finished before it stay.
std::vector<std::string> ConvertXmlFolder(const std::filesystem::path& folder,
                                          TPDBPocketStudio& pdm, PdbProgress& progress);
std::vector<std::string> ConvertXmlFolder(const std::filesystem::path& folder,
                                          PdbProgress& progress);
// The same for `folder` of `fs` (the export folder "C:\Palm\Kve\Exp\"): every file read and
// written goes through `fs`.
std::vector<std::string> ConvertXmlFolder(FileSystem& fs, const std::string& folder,
                                          PdbProgress& progress);
// The same for the XML files `names` of `folder` only, taken by their exact names, in the
// order given: an export converts the files it wrote, and whatever else lies in the folder
// (a copy, another program's half-written file) neither stops it nor becomes a database.
std::vector<std::string> ConvertXmlFiles(FileSystem& fs, const std::string& folder,
                                         const std::vector<std::string>& names,
                                         PdbProgress& progress);

}  // namespace kve::palm
