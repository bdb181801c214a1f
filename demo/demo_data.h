#pragma once
// The demo central kitchen: a believable central "0001" with a dozen aggregated schools, its
// devices, nutritionists, products, clients, suppliers, menus, headcounts, purchase requests,
// supply authorisations and withdrawal forecasts, in the current and the previous month.
// The same options give the same rows on every run and engine.

#include <cstdint>
#include <map>
#include <string>

#include "platform/db/database.h"

namespace kve::demo {

struct DemoOptions {
  // Volume multiplier. 1 is the small demo; 100 reaches the benchmark's 60,000 products,
  // 300,000 purchase-request items, 100,000 AF items, 20,000 clients and 5,000 suppliers.
  int scale = 1;
  TDateTime today = TDateTime::Now();  // dates fall in its month and the month before
  uint64_t seed = 20261207;
  bool replace = false;  // empty the demo's tables first instead of refusing a filled database
};

// Rows written, by table.
using DemoSummary = std::map<std::string, int64_t>;

// Fills a migrated database in one transaction. Refuses (Error) a database whose tables
// already hold rows, unless `replace` is set; on any failure nothing is written.
DemoSummary FillDemoDatabase(Database& db, const DemoOptions& options);

// Fixed facts of the demo, for tests and documentation.
inline constexpr const char* kDemoCentral = "0001";
inline constexpr int kDemoBranches = 12;                  // "0002".."0013"
inline constexpr const char* kDemoBranchWithoutAf = "0013";  // flagged IDBLOQNFSAF "S", no AF
inline constexpr const char* kDemoNutritionist = "000000000007";
inline constexpr const char* kDemoProductMask = "99.99.9999";

}  // namespace kve::demo
