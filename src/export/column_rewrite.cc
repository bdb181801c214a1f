#include "export/column_rewrite.h"

#include <algorithm>

#include <fmt/format.h>

#include "platform/common/cp1252.h"
#include "platform/common/error.h"
#include "platform/dataset/value_text.h"

namespace kve::exporting {

std::string RowKeyText(const TClientDataSet& ds, RowView row,
                       std::initializer_list<std::string_view> keyColumns) {
  std::string out;
  for (std::string_view k : keyColumns) {
    const int i = ds.FindFieldIndex(k);
    if (i < 0) continue;
    if (!out.empty()) out += ", ";
    out += ds.FieldDefs()[i].name;
    out += '=';
    if (!row.IsNull(i)) out += CellText(row, i, ds.FieldDefs()[i]);
  }
  return out;
}

void CheckFits(const TClientDataSet& ds, int column, std::string_view value, int rowNo,
               const std::string& rowKey) {
  const FieldDef& d = ds.FieldDefs()[column];
  const int n = static_cast<int>(Utf8Length(value));
  if (d.type != FieldType::String || d.size <= 0 || n <= d.size) return;
  const std::string where = rowKey.empty() ? fmt::format("{} row {}", ds.Name(), rowNo)
                                           : fmt::format("{} row {} ({})", ds.Name(), rowNo, rowKey);
  throw ValueError(fmt::format("{}: {}: value '{}' has {} characters, more than the column's {}",
                               where, d.name, value, n, d.size));
}

void RewriteTextColumn(TClientDataSet& ds, std::string_view column,
                       std::initializer_list<std::string_view> keyColumns,
                       const std::function<std::string(RowView row, int position)>& compute) {
  const int col = ds.FieldByName(column).Index();
  if (ds.FieldDefs()[col].type != FieldType::String)
    throw Error(fmt::format("{}: {}: expected a text column", ds.Name(), ds.FieldDefs()[col].name));
  if (ds.Modified()) ds.Post();

  const FieldDef& def = ds.FieldDefs()[col];
  const int stored = ds.StoredRowCount();
  std::vector<int> positionOf(static_cast<size_t>(stored));
  {
    const std::vector<int> order = ds.StorageOrder();
    for (int pos = 0; pos < stored; ++pos) positionOf[static_cast<size_t>(order[static_cast<size_t>(pos)])] = pos;
  }

  // Every value is computed and checked before the first is stored, so a value that does not
  // fit changes nothing; then each is set where its row lies, the rest of the row untouched.
  std::string values;
  values.reserve(static_cast<size_t>(stored) * static_cast<size_t>(std::clamp(def.size, 8, 32)));
  std::vector<size_t> ends(static_cast<size_t>(stored));
  for (int r = 0; r < stored; ++r) {
    const RowView row = ds.Row(r);
    const int pos = positionOf[static_cast<size_t>(r)];
    const std::string v = compute(row, pos);
    // Byte length bounds the character count, so most values need no counting.
    if (def.size > 0 && static_cast<int>(v.size()) > def.size)
      CheckFits(ds, col, v, pos + 1, RowKeyText(ds, row, keyColumns));
    values += v;
    ends[static_cast<size_t>(r)] = values.size();
  }
  size_t from = 0;
  for (int r = 0; r < stored; ++r) {
    const size_t to = ends[static_cast<size_t>(r)];
    ds.SetStoredText(r, col, std::string_view(values).substr(from, to - from));
    from = to;
  }
  if (ds.Active()) ds.First();
}

}  // namespace kve::exporting
