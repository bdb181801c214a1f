#pragma once
// The demo database as the server-side tests and the benchmarks query it: filled at a scale,
// and the GetTabelas parameters of its central 0001 over November and December 2026.

#include <memory>
#include <string>
#include <vector>

#include "demo/demo_data.h"
#include "platform/dataset/dataset.h"
#include "platform/db/database.h"
#include "platform/db/migrate.h"
#include "server/sql_files.h"
#include "server/sql_params.h"

namespace kve::testing {

// Opens `url`, brings its schema up to date and fills it with the demo's rows (replacing any).
inline std::unique_ptr<Database> FillDemo(const std::string& url, int scale, TDateTime today) {
  auto db = Database::Open(url);
  MigrateDatabase(*db);
  demo::DemoOptions o;
  o.scale = scale;
  o.today = today;
  o.replace = true;
  demo::FillDemoDatabase(*db, o);
  return db;
}

// Central 0001, every range 2026-11-01 .. 2026-12-31, three levels, all requests and product
// groupings, with the list of its aggregated branches read from `db` as the server reads it.
inline server::SqlValues DemoCentralValues(Database& db, const server::SqlFiles& sql) {
  server::SqlValues v;
  v.SetText("P_CDFILIAL", "0001");
  for (const char* r : {"DTCARD", "DTSOLI", "DTAF"}) {
    v.SetDate(std::string("P_") + r + "INI", TDateTime::FromDate({2026, 11, 1}));
    v.SetDate(std::string("P_") + r + "FIM", TDateTime::FromDate({2026, 12, 31}));
    v.SetDate(std::string("P_") + r + "LIM", TDateTime::FromDate({2027, 1, 1}));
  }
  v.SetInteger("P_NRNIVEIS", 3);
  v.SetInteger("P_NRSOLIC", 0);
  v.SetText("P_IDSTATUS", "T");
  v.SetText("P_CDGRUPPROD", "");
  v.SetText("P_CDOPERADOR", "000000000007");
  TClientDataSet branches;
  auto bp = v.Prepare(sql.Text("branches", db.Dialect()), "branches");
  db.Run(bp.sql, bp.params, &branches);
  std::vector<std::string> codes;
  for (int r : branches.StorageOrder()) codes.emplace_back(branches.Row(r).Str(0));
  v.SetList("P_LISTAAGREG", codes);
  return v;
}

}  // namespace kve::testing
