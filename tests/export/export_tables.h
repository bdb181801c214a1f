#pragma once
// Small helpers for building export tables in tests.

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/dataset/dataset.h"

namespace kve::exporting::testing {

using Values = std::initializer_list<std::pair<const char*, std::string>>;

// An empty table of the catalogue.
inline void Create(TClientDataSet& ds, const char* table) { CreateEmpty(ds, FindTable(table)); }

inline void AddRow(TClientDataSet& ds, Values values) {
  ds.Insert();
  for (const auto& [field, value] : values) ds.FieldByName(field).SetAsString(value);
  ds.Post();
}

// The texts of one column, walking from the first row.
inline std::vector<std::string> Column(TClientDataSet& ds, const char* field) {
  std::vector<std::string> out;
  for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName(field).AsString());
  return out;
}

}  // namespace kve::exporting::testing
