#pragma once
// kve-inspect diff: two table files, or two export folders, compared table by table.
//
// Pairing. Two files are one table, whatever their forms. In two folders the table files
// (.xml, .cds, .pdb, any letter case) are grouped by table, the base name: a file is compared
// with the file of the same name on the other side (EFETIVOS.xml with EFETIVOS.xml, also when
// one says EFETIVOS.CDS and the other EFETIVOS.cds); a table whose files have no namesake on
// the other side is compared across forms, a data packet preferred to a Palm database (a
// Palm export folder against an eeePC one: EFETIVOS.xml with EFETIVOS.CDS). What is left is
// reported as present on one side only, with its row count. Other files are not looked at.
//
// Forms. A data packet against a data packet (.xml or .cds, either way) compares every value
// as the packet holds it. A data packet against a Palm database compares what the handheld
// reads: the packet as the Palm writer stores it (table_file.h), with the database's field
// names. The withdrawal forecast's database (PREVRETI.pdb) is written with quantities,
// product search code and operator of its own; across forms those columns are not compared.
//
// Keys. Rows are matched by the catalogue's key fields of the table named by the base name
// (export/catalogue.h), by position for a table without key or not in the catalogue, or by
// the fields the caller names.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "diff/table_diff.h"
#include "diff/table_file.h"

namespace kve::diff {

struct TableReport {
  enum class Outcome { Equal, Differ, OnlyOld, OnlyNew, Failed };
  Outcome outcome = Outcome::Equal;
  std::string table;             // "PRODUTO": the base name, upper case
  std::string oldFile, newFile;  // empty on the side that lacks the table
  std::optional<FileForm> oldForm, newForm;
  bool palmForm = false;  // compared as the Palm database holds it (a packet against a .pdb)
  std::vector<std::string> notCompared;  // columns left out of the comparison
  std::string note;       // why rows were matched otherwise than expected, or ""
  int64_t rows = 0;       // OnlyOld / OnlyNew: the rows of the one file
  std::string error;      // Failed: the message, naming the file
  // The tables as compared (after the Palm form was applied), for printing rows.
  std::shared_ptr<const TClientDataSet> oldData, newData;
  TableDiff diff;
};

struct Report {
  std::string oldPath, newPath;
  bool folders = false;
  std::vector<TableReport> tables;

  // As diff answers: 0 every table equal, 1 some differ or are on one side only, 2 some
  // could not be read.
  int ExitStatus() const;
};

struct DiffOptions {
  // Fields to match rows by instead of the catalogue's; an empty list: by position.
  std::optional<std::vector<std::string>> key;
};

// Compares two files or two folders. Raises Error when a path is neither a file nor a folder,
// or one is a file and the other a folder; a file that cannot be read becomes a Failed table
// report, and the other tables are still compared.
Report DiffPaths(const std::filesystem::path& oldPath, const std::filesystem::path& newPath,
                 const DiffOptions& options = {});

}  // namespace kve::diff
