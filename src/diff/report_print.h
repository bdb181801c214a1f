#pragma once
// How kve-inspect diff prints a comparison: as text for a person, or as one JSON document.
// Both name every table with its files, the way rows were matched, the columns on one side
// only, and each row added ("+"), removed ("-") or changed ("~", with each changed column's
// old and new value).

#include <ostream>

#include "diff/export_diff.h"

namespace kve::diff {

struct PrintOptions {
  bool brief = false;  // text: one line per table, no rows
};

void PrintText(std::ostream& out, const Report& report, const PrintOptions& options = {});
void PrintJson(std::ostream& out, const Report& report);

}  // namespace kve::diff
