#pragma once
// kve-inspect's view of a Palm database, in the shape of its data-packet view: the header
// (name, type, creator, dates, record count), the field description, and the records decoded
// with it, as text, JSON or CSV. Dates read "yyyy-mm-dd", booleans "true"/"false"; a PSDate
// holding "no date" shows as <no date> (text), null (JSON) or an empty cell (CSV).

#include <ostream>
#include <string_view>

#include "platform/dataset/inspect.h"
#include "platform/pdb/pdb_reader.h"

namespace kve::pdb {

// Whether the bytes look like a Palm database: a header whose name ends within its 32 bytes,
// four-character type and creator, and a record list that fits in the file. Data packets
// never pass (their first bytes are no NUL-terminated name with such a header).
bool IsPdb(std::string_view bytes);

// Prints `db` as `opts` says. A file without field description shows each record's size and
// bytes in hex instead of its values.
void PrintPdb(std::ostream& out, const PdbFile& db, const InspectOptions& opts);

}  // namespace kve::pdb
