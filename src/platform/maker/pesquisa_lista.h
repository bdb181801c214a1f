#pragma once
// Pick lists over a dataset's rows: the multiple-choice list (PesquisaLista) and the helpers
// the look-up button shares with it.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/dataset/dataset.h"
#include "platform/ui/dialogs.h"

namespace kve {

// Columns to show: field name and caption. Empty: every visible field, captioned by its name.
using PickColumns = std::vector<std::pair<std::string, std::string>>;

// The rows of `source` (walked from the first) as a pick request. Raises Error when a column
// is not a field of the dataset.
PickRequest MakePickRequest(TClientDataSet& source, std::string title, const PickColumns& columns,
                            bool multiple);

// Puts the cursor of `source` on its `index`-th visible row (0-based).
void MoveToRow(TClientDataSet& source, int index);

// Shows the rows of `source` for multiple choice under the title, `titleAndEmpty` being the
// title, '|' and the text shown instead when there are no rows. On a confirmed choice it
// stores the chosen rows' values of `keyColumn` in `list`, each preceded by '_' ("_0002_0003";
// empty when none was chosen) and returns true. When there are no rows, or the operator
// cancels, `list` stays as it was and the result is false. `flag` is kept for the callers'
// sake and changes nothing.
bool PesquisaLista(Dialogs& dialogs, TClientDataSet& source, std::string_view keyColumn,
                   std::string_view titleAndEmpty, bool flag, std::string& list,
                   const PickColumns& columns = {});

}  // namespace kve
