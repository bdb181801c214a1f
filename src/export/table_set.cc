#include "export/table_set.h"

#include <string>

#include "platform/common/error.h"

namespace kve::exporting {

TClientDataSet& TableSet::operator[](const TableSpec& table) {
  const std::size_t i = static_cast<std::size_t>(&table - Catalogue().data());
  if (i >= tables_.size()) throw Error("the export holds no table " + std::string(table.Name()));
  return tables_[i];
}

}  // namespace kve::exporting
