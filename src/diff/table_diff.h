#pragma once
// The differences between two versions of one table: rows added, removed and changed, rows
// matched by the table's key fields (hashed, so a comparison costs about one pass over each
// side) or, without key, by position.
//
// Columns are matched by name, letter case ignored; a column on one side only is reported and
// its values are not compared. Values compare by type and value: texts byte for byte, numbers
// exactly, dates and times to the millisecond, a null only equal to a null. Two columns of the
// same name but different types compare by the text kve-inspect shows for their values.
//
// A key need not be unique: rows sharing a key are matched in the order they stand on each
// side, and the report says how many rows shared one.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/dataset/dataset.h"

namespace kve::diff {

struct RowChange {
  int oldRow = 0, newRow = 0;  // positions in file order, 0-based
  std::vector<int> columns;    // indexes into TableDiff::columns of the values that differ
};

struct ColumnPair {
  std::string name;  // as the new side spells it
  int oldIndex = -1, newIndex = -1;
};

struct TableDiff {
  std::vector<std::string> key;      // the fields rows were matched by; empty: by position
  std::vector<ColumnPair> columns;   // compared columns, in the new side's order
  std::vector<std::string> onlyOld;  // columns of the old side only
  std::vector<std::string> onlyNew;
  std::vector<std::string> typeChanges;  // "DTEFETIVO: datetime -> date"
  std::vector<int> removed;  // old rows without partner, in old order
  std::vector<int> added;    // new rows without partner, in new order
  std::vector<RowChange> changed;  // in new order
  int64_t unchanged = 0;
  int64_t sharedKeyRows = 0;  // rows whose key another row of the same side also has

  bool Equal() const {
    return removed.empty() && added.empty() && changed.empty() && onlyOld.empty() &&
           onlyNew.empty() && typeChanges.empty();
  }
};

// Compares `oldT` with `newT`, matching rows by `key` (field names; empty: by position).
// Columns named in `ignore` are not compared (they still match by name). Raises Error when a
// key field is missing on either side.
TableDiff DiffTables(const TClientDataSet& oldT, const TClientDataSet& newT,
                     const std::vector<std::string>& key, const std::vector<std::string>& ignore = {});

}  // namespace kve::diff
