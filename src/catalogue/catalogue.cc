#include "catalogue/catalogue.h"

#include <algorithm>
#include <cctype>

#include "catalogue/catalogue_rows.h"
#include "platform/common/ascii.h"
#include "platform/common/error.h"

namespace kve::exporting {
namespace {

using rows::kTables;

// The fields that tell a table's rows apart, for comparing two exports of it: the primary key
// of the rows the server's query selects, as far as the table carries its columns. Where the
// stored key has a column the table leaves out (the item numbers of SOLICOMP and ITEMAF), the
// product stands in for it; a table whose rows are one setting, or which every run recreates
// empty to be filled on the device, has none and is compared row by row.
struct KeySpec {
  std::string_view table;
  std::string_view fields;  // separated by spaces
};
const KeySpec kKeys[] = {
    {"EFETIVOS", "CDFILIAL CDSERVFILI CDTIPOCARD DTEFETIVO"},
    {"SERVCLIE", "CDFILIAL CDSERVFILI CDCLIENTE"},
    {"FILIAL", "CDFILIAL"},
    {"SERVICO", "CDFILIAL CDSERVFILI"},
    {"OPERADOR", "CDFILIAL CDOPERADOR"},
    {"TIPOCARD", "CDFILIAL CDTIPOCARD"},
    {"FORNECED", "CDFORNECED"},
    {"PRODUTO", "CDPRODUTO"},
    {"CLIENTE", "CDCLIENTE"},
    {"SERIE", "CDSERIE"},
    {"TIPOOPER", "CDTIPOOPER"},
    {"DATASOLI", "CDFILSOLI DTPROGENTR"},
    {"SOLICITA", "CDFILLAN NRSOLICOMP"},
    {"SOLICOMP", "CDFILLAN NRSOLICMP CDPRODUTO"},
    {"DATAEFET", "CDFILIAL CDSERVFILI CDTIPOCARD DTEFETIVO"},
    {"NUMAF", "CDFILLANC NRAUTOFORN"},
    {"ITEMAF", "CDFILLANC NRAUTOFORN CDPRODUTO CDMARCA"},
    {"JUSTSOLI", "DSJUSTSOL"},
    {"PREVRETI", "CDFILIAL CDSERVFILI DTPREVRETI CDPRODUTO"},
    {"DTPREVRETI", "CDFILIAL CDSERVFILI DTPREVRETI"},
    {"TIPORETI", "CDTIPORETI"},
    {"SERVRETIRADA", "CDFILIAL CDSERVFILI"},
    {"ITEMINVENT", "CDFILIAL NRINVENTRETI CDPRODUTO"},
    {"EXPFILIAL", "CDFILIAL CDARVPROD"},
    {"PROD_COD", "CDPSQPROD"},
    {"DADOS_EEPC", "CDFILIAL CDOPERADOR"},
};

// The Palm application files, queued from DirBin between the tables' databases.
struct AppFile {
  std::string_view file;
  int queueRank;
  int removalRank;
};
constexpr AppFile kPalmAppFiles[] = {{"KVE.prc", 35, 35}, {"Relaybox.prc", 36, 36}};

// The entries with a rank, in rank order; `rank` picks the queue or the removal rank.
template <typename Rank>
std::vector<QueueEntry> Ranked(Rank rank) {
  std::vector<std::pair<int, QueueEntry>> ranked;
  for (const TableSpec& t : kTables)
    if (int r = rank(t.palmQueueRank, t.palmRemovalRank); r > 0)
      ranked.push_back({r, {QueueFolder::Export, t.palmPdb}});
  for (const AppFile& a : kPalmAppFiles)
    if (int r = rank(a.queueRank, a.removalRank); r > 0)
      ranked.push_back({r, {QueueFolder::Binaries, a.file}});
  std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<QueueEntry> out;
  out.reserve(ranked.size());
  for (const auto& r : ranked) out.push_back(r.second);
  return out;
}

}  // namespace

std::vector<FieldDef> TableSpec::FieldDefs() const {
  std::vector<FieldDef> defs;
  defs.reserve(fields.size());
  for (const FieldSpec& f : fields) {
    FieldDef d{f.name, f.type, f.size};
    d.fixed = (f.marks & kFixed) != 0;
    d.readOnly = (f.marks & kReadOnly) != 0;
    if (f.marks & kHidden) d.providerFlags = pfInUpdate | pfInWhere | pfHidden;
    d.visible = (f.marks & kNotDisplayed) == 0;
    defs.push_back(std::move(d));
  }
  return defs;
}

std::vector<std::string_view> TableSpec::KeyFields() const {
  for (const KeySpec& k : kKeys)
    if (!table.empty() && k.table == table) {
      std::vector<std::string_view> fields;
      for (std::string_view rest = k.fields; !rest.empty();) {
        const size_t end = std::min(rest.find(' '), rest.size());
        fields.push_back(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
      }
      return fields;
    }
  return {};
}

std::span<const TableSpec> Catalogue() { return kTables; }

const TableSpec& FindTable(std::string_view name) {
  for (const TableSpec& t : kTables)
    if (EqualsIgnoreCase(t.dataset, name) || (!t.table.empty() && EqualsIgnoreCase(t.table, name))) return t;
  throw Error("export table catalogue: no table named '" + std::string(name) + "'");
}

void CreateEmpty(TClientDataSet& ds, const TableSpec& table) {
  ds.Close();
  ds.SetName(std::string(table.Name()));
  ds.FieldDefs() = table.FieldDefs();
  ds.CreateDataSet();
}

std::vector<const TableSpec*> SlotOrder() {
  std::vector<const TableSpec*> slots(kSlotCount, nullptr);
  for (const TableSpec& t : kTables)
    if (t.source == Source::Slot) slots.at(static_cast<size_t>(t.slot)) = &t;
  return slots;
}

std::vector<const TableSpec*> EmptyTables() {
  std::vector<const TableSpec*> out;
  for (const TableSpec& t : kTables)
    if (t.source == Source::Empty) out.push_back(&t);
  return out;
}

std::vector<FileEntry> PalmXmlFiles() {
  std::vector<FileEntry> out;
  for (const TableSpec& t : kTables)
    if (!t.palmXml.empty()) out.push_back({&t, t.palmXml});
  return out;
}

std::vector<FileEntry> EeepcFiles() {
  std::vector<FileEntry> out;
  for (const TableSpec& t : kTables)
    if (!t.eeepcFile.empty() && t.source != Source::Settings) out.push_back({&t, t.eeepcFile});
  return out;
}

const TableSpec& EeepcSettingsTable() {
  for (const TableSpec& t : kTables)
    if (t.source == Source::Settings) return t;
  throw Error("export table catalogue: no eeePC settings table");
}

std::vector<QueueEntry> PalmQueue() {
  return Ranked([](int queue, int) { return queue; });
}

std::vector<QueueEntry> PalmRemoval() {
  return Ranked([](int, int removal) { return removal; });
}

std::vector<std::string> QueuePaths(const std::vector<QueueEntry>& entries,
                                    std::string_view dirExp, std::string_view dirBin) {
  std::vector<std::string> paths;
  paths.reserve(entries.size());
  for (const QueueEntry& e : entries) {
    std::string p(e.folder == QueueFolder::Export ? dirExp : dirBin);
    p += e.file;
    paths.push_back(std::move(p));
  }
  return paths;
}

}  // namespace kve::exporting
