#pragma once
// kve-inspect's view of a Palm database, in the shape of its data-packet view: the header
// (name, type, creator, dates, record count), the field description, and the records decoded
// with it, as text, JSON or CSV. Dates read "yyyy-mm-dd", booleans "true"/"false"; a PSDate
// holding "no date" shows as <no date> (text), null (JSON) or an empty cell (CSV).

#include <ostream>

#include "inspect/packet_print.h"
#include "platform/pdb/pdb_reader.h"

namespace kve::pdb {

// Prints `db` as `opts` says. A file without field description shows each record's size and
// bytes in hex instead of its values.
void PrintPdb(std::ostream& out, const PdbFile& db, const InspectOptions& opts);

}  // namespace kve::pdb
