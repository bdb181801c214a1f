// The export's derivations over a large central kitchen, at two scales, beside the time to
// save the same tables as XML and binary data packets.
//
//   derive_bench                          both scales
//   derive_bench --benchmark_filter=/1$   the base scale only
//
// Scale 1: 60,000 products, 300,000 purchase-request items, 100,000 authorisation items,
// 20,000 clients, 5,000 suppliers. Scale 2 doubles every table; linear work doubles its time.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "catalogue/catalogue.h"
#include "export/derivations.h"
#include "platform/dataset/dataset.h"

namespace {

using namespace kve;
using namespace kve::exporting;

// A fixed pseudo-random sequence, so every run derives the same data.
struct Lcg {
  uint64_t s = 0x9E3779B97F4A7C15ull;
  uint32_t Next() {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(s >> 33);
  }
};

std::string TreeCode(uint32_t n) {
  return fmt::format("{:02}{:02}{:03}{:04}", n % 40, (n / 40) % 60, (n / 2400) % 500, n % 9973);
}

// Fills `ds` (a catalogue table) with `rows` rows; `fill(builder, column index, row)` gives
// each column its value.
template <typename Fill>
void Generate(TClientDataSet& ds, const char* table, int rows, Fill fill) {
  CreateEmpty(ds, FindTable(table));
  RowBuilder b(ds.FieldCount());
  for (int r = 0; r < rows; ++r) {
    for (int i = 0; i < ds.FieldCount(); ++i) fill(b, ds.FieldDefs()[static_cast<size_t>(i)], i, r);
    ds.AppendRow(b, RowStatus::Unchanged);
  }
}

// A plausible text for any column: codes, names, quantities; dates as a fixed day.
void AnyValue(RowBuilder& b, const FieldDef& d, int i, int r, Lcg& rng) {
  if (d.type != FieldType::String) {
    b.SetInt(i, 1700000000000ll + 86400000ll * (r % 90));
    return;
  }
  const std::string& n = d.name;
  std::string v;
  if (n == "CDARVPROD") v = TreeCode(rng.Next() % 1000000);
  else if (n.rfind("NM", 0) == 0 || n.rfind("DS", 0) == 0) v = fmt::format("Item de merenda escolar {}", r);
  else if (n.rfind("QT", 0) == 0 || n.rfind("VR", 0) == 0) v = fmt::format("{},{:03}", r % 1000, r % 997);
  else v = fmt::format("{}", r % 100000);
  if (static_cast<int>(v.size()) > d.size) v.resize(static_cast<size_t>(d.size));
  b.SetStr(i, v);
}

struct Central {
  TClientDataSet soliComp, produto, prodCod, produtoCod, itemAF, cliente, forneced, param, filial,
      numAF, idioma;
  int rows = 0;

  explicit Central(int scale) {
    Lcg rng;
    auto any = [&](RowBuilder& b, const FieldDef& d, int i, int r) { AnyValue(b, d, i, r, rng); };
    Generate(produto, "PRODUTO", 60000 * scale, any);
    Generate(soliComp, "SOLICOMP", 300000 * scale, any);
    Generate(itemAF, "ITEMAF", 100000 * scale, any);
    auto person = [&](const char* codeCol, const char* numberCol) {
      return [&, codeCol, numberCol](RowBuilder& b, const FieldDef& d, int i, int r) {
        const bool company = r % 3 == 0;
        if (d.name == codeCol) b.SetStr(i, fmt::format("{}{:06}", company ? 'J' : 'F', r));
        else if (d.name == numberCol) b.SetStr(i, company ? fmt::format("{:014}", 12345678000000ll + r) : fmt::format("{:011}", 10000000000ll + r));
        else AnyValue(b, d, i, r, rng);
      };
    };
    Generate(cliente, "CLIENTE", 20000 * scale, person("CDCLIENTE", "NRINSJURCL"));
    Generate(forneced, "FORNECED", 5000 * scale, person("CDFORNECED", "NRINSJURFO"));
    Generate(param, "PARAM", 1, [](RowBuilder& b, const FieldDef&, int i, int) { b.SetStr(i, "S"); });
    Generate(filial, "FILIAL", 200, [](RowBuilder& b, const FieldDef& d, int i, int r) {
      b.SetStr(i, d.name == "NMFILIAL" ? fmt::format("Escola {}", r) : d.size == 1 ? std::string("N") : fmt::format("{:04}", r));
    });
    Generate(numAF, "NUMAF", 2000, [&](RowBuilder& b, const FieldDef& d, int i, int r) {
      if (d.name == "CDFILDEST") b.SetStr(i, fmt::format("{:04}", r % 200));
      else AnyValue(b, d, i, r, rng);
    });
    rows = produto.StoredRowCount() + soliComp.StoredRowCount() + itemAF.StoredRowCount() +
           cliente.StoredRowCount() + forneced.StoredRowCount();
  }

  DerivedTableSet Tables() {
    return {soliComp, produto, prodCod, produtoCod, itemAF, cliente, forneced, param, filial, numAF, idioma};
  }
};

Central& CentralAt(int scale) {
  static std::map<int, std::unique_ptr<Central>> cache;
  auto& c = cache[scale];
  if (!c) c = std::make_unique<Central>(scale);
  return *c;
}

std::string PersonMask(std::string_view type) {
  return type == "J" ? "99.999.999/9999-99;0;_" : "999.999.999-99;0;_";
}

const DerivationValues kValues{"99.99.999.9999;0;_", &PersonMask, "POR"};

void BM_Derive(benchmark::State& state) {
  Central& c = CentralAt(static_cast<int>(state.range(0)));
  DerivedTableSet t = c.Tables();
  for (auto _ : state) benchmark::DoNotOptimize(DeriveExportTables(t, kValues));
  state.SetItemsProcessed(state.iterations() * c.rows);
}

void Save(benchmark::State& state, DataPacketFormat format, const char* ext) {
  Central& c = CentralAt(static_cast<int>(state.range(0)));
  DerivedTableSet t = c.Tables();
  DeriveExportTables(t, kValues);
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / fmt::format("kve-derive-bench-{}", ::getpid());
  std::filesystem::create_directories(dir);
  for (auto _ : state) {
    for (TClientDataSet* ds : {&c.produto, &c.soliComp, &c.itemAF, &c.cliente, &c.forneced, &c.produtoCod})
      ds->SaveToFile(dir / (ds->Name() + ext), format);
  }
  state.SetItemsProcessed(state.iterations() * c.rows);
  std::filesystem::remove_all(dir);
}

void BM_SaveXml(benchmark::State& state) { Save(state, DataPacketFormat::Xml, ".xml"); }
void BM_SaveBinary(benchmark::State& state) { Save(state, DataPacketFormat::Binary, ".cds"); }

BENCHMARK(BM_Derive)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveXml)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SaveBinary)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
