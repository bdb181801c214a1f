// kve-inspect diff on two exports of a large table, beside loading the same two files: the
// comparison should cost about what reading does, and grow with the rows, not their square.
//
//   diff_bench                               100,000 and 400,000 rows
//   diff_bench --benchmark_filter=/100000$   the smaller table only
//
// The table is SOLICOMP (14 columns, a three-field key); the new export moves every row one
// place (so matching by position would find every row changed), changes 1% of the rows,
// drops 0.5% and adds as many new ones.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <fmt/format.h>
#include <unistd.h>

#include "diff/export_diff.h"
#include "diff/table_file.h"
#include "catalogue/catalogue.h"
#include "platform/dataset/dataset.h"

namespace {

using namespace kve;
namespace fs = std::filesystem;

// Row `r` of SOLICOMP; `variant` changes the quantity.
void Row(RowBuilder& b, const TClientDataSet& ds, int r, int variant) {
  for (int i = 0; i < ds.FieldCount(); ++i) {
    const FieldDef& d = ds.FieldDefs()[static_cast<size_t>(i)];
    if (d.type != FieldType::String) {
      b.SetInt(i, TDateTime::FromDate({2009, 1, 1 + r % 28}).ms());
      continue;
    }
    std::string v;
    if (d.name == "CDFILLAN") v = fmt::format("{:04}", r % 50);
    else if (d.name == "NRSOLICMP") v = fmt::format("{}", r / 50 / 20);
    else if (d.name == "CDPRODUTO") v = fmt::format("{}", r / 50 % 20 + 1000 * (r % 7));
    else if (d.name == "QTSOLICPRO") v = fmt::format("{},{:03}", r % 1000, variant);
    else if (d.name.rfind("NM", 0) == 0 || d.name.rfind("DS", 0) == 0) v = fmt::format("Item de merenda escolar {}", r);
    else v = fmt::format("{}", r % 100000);
    if (static_cast<int>(v.size()) > d.size) v.resize(static_cast<size_t>(d.size));
    b.SetStr(i, v);
  }
}

struct Pair {
  fs::path dir, oldFile, newFile;
  ~Pair() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Pair& PairOf(int rows) {
  static std::map<int, std::unique_ptr<Pair>> cache;
  auto& p = cache[rows];
  if (p) return *p;
  p = std::make_unique<Pair>();
  p->dir = fs::temp_directory_path() / fmt::format("kve-diff-bench-{}-{}", ::getpid(), rows);
  fs::create_directories(p->dir / "old");
  fs::create_directories(p->dir / "new");
  p->oldFile = p->dir / "old" / "SOLICOMP.xml";
  p->newFile = p->dir / "new" / "SOLICOMP.xml";
  const exporting::TableSpec& solicomp = exporting::FindTable("SOLICOMP");
  TClientDataSet a, b;
  exporting::CreateEmpty(a, solicomp);
  exporting::CreateEmpty(b, solicomp);
  RowBuilder rb(a.FieldCount());
  for (int r = 0; r < rows; ++r) {
    Row(rb, a, r, 0);
    a.AppendRow(rb);
  }
  for (int r = 1; r < rows + rows / 200; ++r) {
    if (r < rows && r % 200 == 0) continue;  // dropped; rows from `rows` on are new
    Row(rb, b, r, r % 100 == 1 ? 1 : 0);
    b.AppendRow(rb);
  }
  Row(rb, b, 0, 0);  // the first row, now last
  b.AppendRow(rb);
  a.SaveToFile(p->oldFile, DataPacketFormat::Xml);
  b.SaveToFile(p->newFile, DataPacketFormat::Xml);
  return *p;
}

void BM_LoadBoth(benchmark::State& state) {
  Pair& p = PairOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    diff::TableFile a = diff::LoadTableFile(p.oldFile);
    diff::TableFile b = diff::LoadTableFile(p.newFile);
    benchmark::DoNotOptimize(a.data->StoredRowCount() + b.data->StoredRowCount());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}

void BM_Diff(benchmark::State& state) {
  Pair& p = PairOf(static_cast<int>(state.range(0)));
  size_t changed = 0, added = 0;
  for (auto _ : state) {
    const diff::Report r = diff::DiffPaths(p.oldFile, p.newFile);
    changed = r.tables.at(0).diff.changed.size();
    added = r.tables.at(0).diff.added.size();
  }
  state.counters["changed"] = static_cast<double>(changed);
  state.counters["added"] = static_cast<double>(added);
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}

// The matching and comparing alone, on the two tables loaded once.
void BM_DiffLoaded(benchmark::State& state) {
  Pair& p = PairOf(static_cast<int>(state.range(0)));
  const diff::TableFile a = diff::LoadTableFile(p.oldFile), b = diff::LoadTableFile(p.newFile);
  const std::vector<std::string> key = {"CDFILLAN", "NRSOLICMP", "CDPRODUTO"};
  for (auto _ : state) benchmark::DoNotOptimize(diff::DiffTables(*a.data, *b.data, key).changed.size());
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}

BENCHMARK(BM_LoadBoth)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Diff)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DiffLoaded)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
