// kve-demo-data: applies the schema to a database and fills it with the demo central kitchen.
//
//   kve-demo-data --db sqlite:demo.db
//   kve-demo-data --db postgresql://kve@127.0.0.1:5432/kve --scale 100 --replace

#include <chrono>
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "demo/demo_data.h"
#include "platform/common/error.h"
#include "platform/db/database.h"
#include "platform/db/migrate.h"
#include "platform/dataset/datetime.h"

int main(int argc, char** argv) {
  CLI::App app{"Creates the schema of the host and server database and fills it with a demo central kitchen"};
  std::string url, today;
  kve::demo::DemoOptions options;
  bool schemaOnly = false;
  app.add_option("--db", url, "database URL: sqlite:PATH or postgresql://...")->required();
  app.add_option("--scale", options.scale, "volume multiplier, 1 to 300 (100: benchmark size)")
      ->check(CLI::Range(1, 300));
  app.add_option("--today", today, "the date the demo is built around, yyyy-mm-dd (default: today)");
  app.add_option("--seed", options.seed, "seed of the generator");
  app.add_flag("--replace", options.replace, "empty the demo's tables first");
  app.add_flag("--schema-only", schemaOnly, "apply the schema and stop");
  CLI11_PARSE(app, argc, argv);

  try {
    if (!today.empty()) {
      const auto d = kve::ParseIsoDate(today);
      if (!d) throw kve::ValueError(fmt::format("--today '{}': expected yyyy-mm-dd", today));
      options.today = *d;
    }
    const auto start = std::chrono::steady_clock::now();
    auto db = kve::Database::Open(url);
    const int steps = kve::MigrateDatabase(*db);
    fmt::print("schema: {} step(s) applied, version {}\n", steps, kve::LatestSchemaVersion());
    if (schemaOnly) return 0;

    const auto summary = kve::demo::FillDemoDatabase(*db, options);
    int64_t total = 0;
    for (const auto& [table, rows] : summary) {
      fmt::print("  {:<14}{:>9}\n", table, rows);
      total += rows;
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fmt::print("demo: {} rows in {:.1f} s (scale {}, around {})\n", total, secs, options.scale,
               kve::FormatIsoDate(options.today));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kve-demo-data: %s\n", e.what());
    return 1;
  }
}
