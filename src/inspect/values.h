#pragma once
// How kve-inspect and its diff show one value: dates "yyyy-mm-dd", date-times
// "yyyy-mm-dd hh:nn:ss.zzz", times "hh:nn:ss.zzz", booleans "true"/"false", numbers with a
// point; and how a CSV cell is quoted.

#include <optional>
#include <string>
#include <string_view>

#include "platform/dataset/dataset.h"

namespace kve {

// The value of column `i` of `row`; nothing for a null. A date outside the packet's range
// shows as "(day N)".
std::optional<std::string> InspectText(RowView row, int i, const FieldDef& def);

// `text` as one CSV cell: quoted, with quotes doubled, when it holds a comma, a quote or a line
// break; else as it is.
std::string CsvField(std::string_view text);

}  // namespace kve
