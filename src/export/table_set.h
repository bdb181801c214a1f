#pragma once
// The in-memory tables of one export: a dataset for each table of the catalogue the run
// fills, held in the catalogue's order, so every such table has its dataset and no list
// beside the catalogue names them. The screen's look-ups (the device history, the product
// groupings) are the screen's own and not here.

#include <array>
#include <cstddef>
#include <string_view>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_rows.h"
#include "platform/dataset/dataset.h"

namespace kve::exporting {

// A table of the run named in code by its dataset name: tables["cdsPrevReti"]. The name is
// looked up when the code is compiled; one the catalogue lacks, or a look-up of the screen,
// does not build.
class TableName {
 public:
  template <std::size_t N>
  consteval TableName(const char (&dataset)[N]) : index_(rows::IndexOf(std::string_view(dataset, N - 1))) {
    if (index_ >= rows::kRunTableCount) throw "not a table of the export run";
  }
  std::size_t Index() const { return index_; }

 private:
  std::size_t index_;
};

class TableSet {
 public:
  // REQUIRES: `table` is an entry of Catalogue(). Raises kve::Error for a look-up of the
  // screen, which the set does not hold.
  TClientDataSet& operator[](const TableSpec& table);
  TClientDataSet& operator[](TableName table) { return tables_[table.Index()]; }

 private:
  std::array<TClientDataSet, rows::kRunTableCount> tables_;
};

}  // namespace kve::exporting
