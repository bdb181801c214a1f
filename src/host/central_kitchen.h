#pragma once
// Which central kitchen the screen exports for: the current branch when it is itself a
// central, otherwise the central the branch points to.

#include <string>
#include <vector>

#include "platform/db/database.h"

namespace kve::host {

// Branch rows by code (P_CDFILIAL), or all of them when P_TCDFILIAL is "T".
const std::vector<std::string>& FilialSql();

struct CentralKitchen {
  bool found = false;  // false: the branch is no central and points to none
  std::string code;
  std::string name;  // empty when the central's row is missing from the local table
};

// Opens `qryFilial` (which must hold FilialSql) for `branch` and, when needed, again for its
// central; the query stays open on the last row read. A branch missing from the table counts
// as one without a central.
CentralKitchen ResolveCentralKitchen(TADOIBQuery& qryFilial, const std::string& branch);

}  // namespace kve::host
