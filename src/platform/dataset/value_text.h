#pragma once
// How a stored value reads and parses as the screen's text: dates "dd/mm/yyyy", date-times
// with " hh:nn:ss" when the time of day is not midnight, booleans "True"/"False", numbers with
// a point (a comma is accepted when parsing).

#include <optional>
#include <string>
#include <string_view>

#include "platform/dataset/dataset.h"

namespace kve {

std::string CellText(RowView row, int i, const FieldDef& def);  // REQUIRES: not null
// Orders two rows by one field: nulls first, numbers and dates by value, texts by bytes.
int CompareCells(RowView a, RowView b, int i, const FieldDef& def);

std::string FormatDateTimeText(TDateTime v);
std::optional<TDateTime> ParseDateTimeText(std::string_view s);
std::string FormatFloatText(double v);
std::optional<double> ParseFloatText(std::string_view s);
std::optional<bool> ParseBoolText(std::string_view s);

}  // namespace kve
