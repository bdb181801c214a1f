#pragma once
// Setting one derived text column on every row of a table, as plain data.
//
// The column is set in each stored row where it lies rather than edited row by row through
// the cursor: a cursor edit re-indexes the table's visible rows, which over a few hundred
// thousand rows would make the derivation quadratic, and copying every row to change one
// column costs more than the derivation itself. The result is the same as editing every row
// and then merging the change log: the rows keep their order and every row is stored as a
// plain row.

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/dataset/dataset.h"

namespace kve::exporting {

// "CDFILIAL=0002, CDOPERADOR=ANA": the named columns of a row that are present, for messages.
std::string RowKeyText(const TClientDataSet& ds, RowView row,
                       std::initializer_list<std::string_view> keyColumns);

// Raises kve::ValueError when `value` is longer than text column `column` of `ds`, naming the
// table, the row's position (1-based) and key, the column and the value.
void CheckFits(const TClientDataSet& ds, int column, std::string_view value, int rowNo,
               const std::string& rowKey);

// Computes `compute(row, position)` for every stored row (position: 0-based place in the
// table's storage order) and stores it in text column `column`. Every value is computed and
// checked against the column's width before the table changes, so a failure leaves it as it
// was. Afterwards every row is a plain row (the change log is merged).
void RewriteTextColumn(TClientDataSet& ds, std::string_view column,
                       std::initializer_list<std::string_view> keyColumns,
                       const std::function<std::string(RowView row, int position)>& compute);

// The text of a column of a stored row ("" when null).
inline std::string_view TextOf(RowView row, int column) {
  return row.IsNull(column) ? std::string_view() : row.Str(column);
}

}  // namespace kve::exporting
