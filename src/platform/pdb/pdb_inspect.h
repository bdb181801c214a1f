#pragma once
// kve-inspect's view of a Palm database: the header (name, type, creator, dates, record
// count), the field description and the records decoded with it, as text or as JSON.

#include <filesystem>
#include <ostream>

#include "platform/pdb/pdb_reader.h"

namespace kve::pdb {

struct InspectOptions {
  bool json = false;
  int maxRecords = -1;  // -1: every record
};

// Text: one "key  value" line per header item, a line per field, then the records as
// tab-separated lines under a line of field names. A file without field description shows
// each record's size and bytes in hex.
// JSON: {"file", "kind": "pdb", "header": {...}, "fields": [{"name", "type", "size"}],
// "records": [[value, ...], ...]} with texts as strings, numbers as numbers, booleans as
// true/false, dates as "yyyy-mm-dd" and "no date" as null; records without description are
// hex strings.
void PrintPdb(const PdbFile& db, std::ostream& out, const InspectOptions& options = {});

// Loads `file` and prints it; errors name the file.
void InspectPdbFile(const std::filesystem::path& file, std::ostream& out,
                    const InspectOptions& options = {});

}  // namespace kve::pdb
