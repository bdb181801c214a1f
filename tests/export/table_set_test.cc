// The export's tables held by catalogue entry: each table of the run has a dataset of its own,
// the same whether reached by its entry or by its name in code; the screen's look-ups are not
// the run's.
#include <gtest/gtest.h>

#include <set>

#include "export/table_set.h"
#include "platform/common/error.h"

namespace kve::exporting {
namespace {

TEST(TableSet, EachTableOfTheRunHasADatasetOfItsOwnAndTheLookUpsHaveNone) {
  TableSet tables;
  std::set<const TClientDataSet*> seen;
  for (const TableSpec& t : Catalogue()) {
    SCOPED_TRACE(std::string(t.dataset));
    if (t.source == Source::Lookup) {
      EXPECT_THROW(tables[t], Error);
      continue;
    }
    EXPECT_TRUE(seen.insert(&tables[t]).second);
  }
  EXPECT_EQ(seen.size(), 38u);
  EXPECT_EQ(&tables["cdsPrevReti"], &tables[FindTable("PREVRETI")]);
  EXPECT_EQ(&tables["cdsProdCod"], &tables[FindTable("cdsProdCod")]);
}

}  // namespace
}  // namespace kve::exporting
