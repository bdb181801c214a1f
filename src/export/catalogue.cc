#include "export/catalogue.h"

#include <algorithm>
#include <cctype>

#include "platform/common/ascii.h"
#include "platform/common/error.h"

namespace kve::exporting {
namespace {

constexpr FieldSpec T(const char* name, int size, unsigned char marks = 0) {
  return {name, FieldType::String, size, marks};
}
constexpr FieldSpec D(const char* name) { return {name, FieldType::Date, 0, 0}; }
constexpr FieldSpec DT(const char* name) { return {name, FieldType::DateTime, 0, 0}; }
constexpr FieldSpec I(const char* name) { return {name, FieldType::Int32, 0, 0}; }

// ---- fields, in column order

constexpr FieldSpec kEfetClie[] = {T("CDFILCENT", 4), T("CDFILIAL", 4), T("CDTIPOCARD", 10),
    T("CDSERVFILI", 5), D("DTPROGENTR"), T("CDCLIENTE", 21), T("NMCLIENTE", 40),
    T("QTCLIENTE", 10), T("QTFUNC", 10), T("QTDOACAO", 10), T("FILTPCSEDT", 29)};
constexpr FieldSpec kInventario[] = {T("CDFILIAL", 4), T("CDOPERADOR", 12), D("DTLANCESTQ"),
    T("CDPRODUTO", 10), T("FILOPEDTPD", 36), T("CDARVPROD", 20), T("NMPRODUTO", 50),
    T("SGUNIDADE", 5), T("QUANTPROD", 10)};
constexpr FieldSpec kItemEntr[] = {T("NRLANCNFE", 18), T("CDPRODUTO", 10), T("CDARVPROD", 30),
    T("NMPRODUTO", 50), T("SGUNIDADE", 5), T("QTITEMPROD", 10), T("VRUNITITEM", 10),
    T("NRNFEPROD", 28), T("CDFILLANC", 4), T("CDFILDEST", 4), T("CDMARCA", 5), T("QTPENTAF", 10),
    T("VRPREUNIAF", 10), T("CDPSQPROD", 20)};
constexpr FieldSpec kItemSaid[] = {T("NRLANCNFS", 18), T("CDPRODUTO", 10), T("CDARVPROD", 30),
    T("NMPRODUTO", 50), T("SGUNIDADE", 5), T("QTITEMPROD", 10), T("VRUNITITEM", 10),
    T("NRNFSPROD", 28)};
constexpr FieldSpec kLancEntr[] = {T("NRLANCNFE", 18), T("CDFILIAL", 4), T("CDTIPOOPER", 2),
    T("NMTIPOOPER", 30), T("IDENTORIOP", 1), T("CDORIGEM", 21), T("NMORIGEM", 50),
    T("NRINSJURNF", 20), D("DTEMISSAO"), D("DTENTRADA"), T("VRNOTAFISC", 10),
    T("NRNOTAFISC", 20), T("CDSERIE", 5), T("IDUTILVENC", 1), T("ORIGNFSER", 51),
    T("IDIMPAF", 1), T("NRAUTOFORN", 10), D("DTPENTAF")};
constexpr FieldSpec kLancSaid[] = {T("NRLANCNFS", 18), T("CDFILIAL", 4), T("CDTIPOOPER", 2),
    T("NMTIPOOPER", 30), T("IDENTORIOP", 1), T("CDORIGEM", 21), T("NMORIGEM", 40),
    T("NRINSJURNF", 20), D("DTSAIDA"), T("VRNOTAFISC", 10), T("IDUTILVENC", 1)};
constexpr FieldSpec kVencEntr[] = {T("NRLANCNFE", 18), D("DTVENCENTR"), T("VRVENCENTR", 10),
    T("STDTVCENTR", 10)};
constexpr FieldSpec kVencSaid[] = {T("NRLANCNFS", 18), D("DTVENCSAID"), T("VRVENCSAID", 10)};
constexpr FieldSpec kEfetivos[] = {T("CDFILCENT", 4), T("NRCARDKVE", 10), T("NRCDIAKVE", 10),
    T("CDFILIAL", 4), DT("DTEFETIVO"), T("CDSERVFILI", 5), T("CDTIPOCARD", 10),
    T("QTCLIENTE", 40), T("QTFUNC", 40), T("QTDOACAO", 40), T("FILSETPCDT", 29)};
constexpr FieldSpec kServClie[] = {T("CDFILIAL", 4), T("CDTIPOCARD", 10), T("CDSERVFILI", 5),
    T("CDCLIENTE", 21), T("NMCLIENTE", 50), T("FILTPCSERV", 19)};
constexpr FieldSpec kFilial[] = {T("CDFILIAL", 4), T("NMFILIAL", 30), T("CDFILCENT", 4),
    T("IDBLOQNFSAF", 1)};
constexpr FieldSpec kServico[] = {T("CDFILIAL", 4), T("CDSERVFILI", 5), T("NMSERVICO", 40),
    T("CDTIPOCARD", 10)};
constexpr FieldSpec kOperador[] = {T("CDFILIAL", 4), T("CDOPERADOR", 12), T("NMOPERADOR", 40),
    T("CDSENHAOPE", 20, kHidden), T("CDFILIOPER", 16)};
constexpr FieldSpec kParam[] = {T("IDCONSMEFE", 1), T("IDBLOQNFSAF", 1)};
constexpr FieldSpec kTipoCard[] = {T("CDFILIAL", 4), T("CDTIPOCARD", 10), T("NMTIPOCARD", 100)};
constexpr FieldSpec kForneced[] = {T("CDFORNECED", 21), T("NRMSKFORN", 20), T("NRINSJURFO", 20),
    T("NMRAZSOCFO", 40)};
constexpr FieldSpec kProduto[] = {T("CDPRODUTO", 10), T("CDARVPROD", 20), T("CDPSQPROD", 20),
    T("NMPRODUTO", 50), T("SGUNIDADE", 10)};
constexpr FieldSpec kCliente[] = {T("CDCLIENTE", 21), T("NRMSKCLIE", 20), T("NRINSJURCL", 20),
    T("NMRAZSOCCL", 50)};
constexpr FieldSpec kSerie[] = {T("CDSERIE", 5), T("DSSERIE", 20),
    T("IDLANCMTO", 1, kFixed | kReadOnly)};
constexpr FieldSpec kTipoOper[] = {T("CDTIPOOPER", 2), T("NMTIPOOPER", 30), T("IDENTTIPOP", 1),
    T("IDENTORIOP", 1), T("IDUTILVENC", 1)};
constexpr FieldSpec kDataSoli[] = {T("CDFILSOLI", 4), DT("DTPROGENTR"),
    T("STDATASOLI", 10, kReadOnly)};
constexpr FieldSpec kSolicita[] = {T("NRSOLICOMP", 10), T("CDFILSOLI", 4), T("CDFILLAN", 4)};
constexpr FieldSpec kSoliComp[] = {T("CDFILISOLI", 4), T("CDFILLAN", 4), T("NRSOLICMP", 10),
    T("CDPRODUTO", 10), T("CDARVPROD", 20), T("CDPSQPROD", 20), T("NMPRODUTO", 50),
    DT("DTPROGENTR"), T("QTSOLICPRO", 40), T("QTAJUSTPRO", 40), T("SGUNIDADE", 10),
    T("DSJUSTSOLI", 40, kFixed), T("CDOPERSOLI", 12, kFixed), T("FILSOLPRDT", 34)};
constexpr FieldSpec kDataEfet[] = {T("CDFILIAL", 4), T("CDSERVFILI", 5), T("CDTIPOCARD", 10),
    DT("DTEFETIVO"), T("STDATAEFET", 10, kReadOnly)};
constexpr FieldSpec kNumAF[] = {T("CDFILLANC", 4), T("CDFILDEST", 4), T("NRAUTOFORN", 10),
    T("CDFORNECED", 21), DT("DTPENTAF"), T("STDTPENTAF", 10), T("VRTOTALAF", 40),
    T("IDUTILIZA", 1, kFixed)};
constexpr FieldSpec kItemAF[] = {T("CDFILLANC", 4), T("CDFILDEST", 4), T("NRAUTOFORN", 10),
    T("CDMARCA", 5), T("CDPRODUTO", 10), DT("DTPENTAF"), T("QTPENTAF", 40), T("VRPREUNIAF", 40),
    T("CDARVPROD", 20), T("NMPRODUTO", 50), T("SGUNIDADE", 10), T("CDPSQPROD", 20)};
constexpr FieldSpec kJustSoli[] = {T("DSJUSTSOL", 40)};
constexpr FieldSpec kParaSupri[] = {T("IDJUSTSOLI", 1), T("IDBLOQALTSOLAVR", 1)};
constexpr FieldSpec kPrevReti[] = {T("CDFILIAL", 4), T("CDSERVFILI", 5), DT("DTPREVRETI"),
    T("CDPRODUTO", 10), T("CDARVPROD", 20), T("CDPSQPROD", 20), T("NMPRODUTO", 50),
    T("SGUNIDADE", 10), T("QTPREVRETI", 40), T("QTCONSRETI", 40), T("CDTIPORETI", 2),
    T("NMTIPORETI", 40), T("CDOPERADOR", 12), T("FILSERPRDT", 29)};
constexpr FieldSpec kDtPrevReti[] = {T("CDFILIAL", 4), T("CDSERVFILI", 5), DT("DTPREVRETI"),
    T("STDATARETI", 10)};
constexpr FieldSpec kTipoReti[] = {T("CDTIPORETI", 2), T("NMTIPORETI", 40)};
constexpr FieldSpec kServRetirada[] = {T("CDFILIAL", 4), T("CDSERVFILI", 5), T("NMSERVICO", 40)};
constexpr FieldSpec kItemInvent[] = {T("CDARVPROD", 20), T("CDFILIAL", 4), T("CDPRODUTO", 10),
    T("NRINVENTRETI", 10), T("NMPRODUTO", 50), T("SGUNIDADE", 5),
    T("QTITINVENTRETI", 1, kFixed)};
constexpr FieldSpec kExpFilial[] = {T("CDFILIAL", 4), T("CDARVPROD", 20), T("IDBLOQNFSAF", 1)};
constexpr FieldSpec kProdCod[] = {T("CDPSQPROD", 20), I("PRODUTONRO")};
constexpr FieldSpec kIdioma[] = {T("CDIDIOMA", 1)};
constexpr FieldSpec kDados[] = {T("CDFILIAL", 4), T("NMFILIAL", 30), T("CDOPERADOR", 12),
    T("NMOPERADOR", 40), T("CDSENHAOPE", 20, kHidden | kNotDisplayed), T("CDFILIOPER", 16),
    T("DIREXP", 100), T("PRODMASK", 20)};
constexpr FieldSpec kHistPalm[] = {T("CDFILIAL", 4), T("CDPALM", 3), DT("DTHISTPALM"),
    T("IDHISTPALM", 1), T("IDERROPALM", 1)};
constexpr FieldSpec kAgrupProd[] = {T("CDGRUPPROD", 10), T("NMGRUPPROD", 40)};

// ---- the tables, in writing order
// dataset, table, source, slot, fields, Palm XML, Palm PDB, queue rank, removal rank, eeePC file

using S = Source;
const TableSpec kTables[] = {
    {"cdsEfetClie", "EFETCLIE", S::Empty, -1, kEfetClie, "EFETCLIE.xml", "EFETCLIE.pdb", 7, 6, "EFETCLIE.cds"},
    {"cdsInventario", "INVENTARIO", S::Empty, -1, kInventario, "INVENTARIO.xml", "INVENTARIO.pdb", 10, 10, "INVENTARIO.cds"},
    {"cdsItemEntr", "ITEMENTR", S::Empty, -1, kItemEntr, "ITEMENTR.xml", "ITEMENTR.pdb", 11, 11, "ITEMENTR.cds"},
    {"cdsItemSaid", "ITEMSAID", S::Empty, -1, kItemSaid, "ITEMSAID.xml", "ITEMSAID.pdb", 12, 12, "ITEMSAID.cds"},
    {"cdsLancEntr", "LANCENTR", S::Empty, -1, kLancEntr, "LANCENTR.xml", "LANCENTR.pdb", 13, 13, "LANCENTR.cds"},
    {"cdsLancSaid", "LANCSAID", S::Empty, -1, kLancSaid, "LANCSAID.xml", "LANCSAID.pdb", 14, 14, "LANCSAID.cds"},
    {"cdsVencEntr", "VENCENTR", S::Empty, -1, kVencEntr, "VENCENTR.xml", "VENCENTR.pdb", 22, 22, "VENCENTR.cds"},
    {"cdsVencSaid", "VENCSAID", S::Empty, -1, kVencSaid, "VENCSAID.xml", "VENCSAID.pdb", 23, 23, "VENCSAID.cds"},
    {"cdsEfetivos", "EFETIVOS", S::Slot, 0, kEfetivos, "EFETIVOS.xml", "EFETIVOS.pdb", 1, 1, "EFETIVOS.CDS"},
    {"cdsServClie", "SERVCLIE", S::Slot, 1, kServClie, "SERVCLIE.xml", "SERVCLIE.pdb", 2, 5, "SERVCLIE.CDS"},
    {"cdsFilial", "FILIAL", S::Slot, 2, kFilial, "FILIAL.xml", "FILIAL.pdb", 3, 2, "FILIAL.CDS"},
    {"cdsServico", "SERVICO", S::Slot, 3, kServico, "SERVICO.xml", "SERVICO.pdb", 4, 7, "SERVICO.CDS"},
    {"cdsOperador", "OPERADOR", S::Slot, 4, kOperador, "OPERADOR.xml", "OPERADOR.pdb", 5, 3, ""},
    {"cdsParam", "PARAM", S::Slot, 5, kParam, "PARAM.xml", "PARAM.pdb", 6, 4, "PARAM.CDS"},
    {"cdsTipoCard", "TIPOCARD", S::Slot, 6, kTipoCard, "TIPOCARD.xml", "TIPOCARD.pdb", 20, 20, "TIPOCARD.CDS"},
    {"cdsForneced", "FORNECED", S::Slot, 7, kForneced, "FORNECED.xml", "FORNECED.pdb", 9, 9, "FORNECED.CDS"},
    {"cdsProduto", "PRODUTO", S::Slot, 8, kProduto, "PRODUTO.xml", "PRODUTO.pdb", 15, 15, "PRODUTO.CDS"},
    {"cdsCliente", "CLIENTE", S::Slot, 9, kCliente, "CLIENTE.xml", "CLIENTE.pdb", 8, 8, "CLIENTE.CDS"},
    {"cdsSerie", "SERIE", S::Slot, 10, kSerie, "SERIE.xml", "SERIE.pdb", 16, 16, "SERIE.CDS"},
    {"cdsTipoOper", "TIPOOPER", S::Slot, 11, kTipoOper, "TIPOOPER.xml", "TIPOOPER.pdb", 21, 21, "TIPOOPER.CDS"},
    {"cdsDataSoli", "DATASOLI", S::Slot, 12, kDataSoli, "DATASOLI.xml", "DATASOLI.pdb", 17, 17, "DATASOLI.CDS"},
    {"cdsSolicita", "SOLICITA", S::Slot, 14, kSolicita, "SOLICITA.xml", "SOLICITA.pdb", 18, 18, "SOLICITA.cds"},
    {"cdsSoliComp", "SOLICOMP", S::Slot, 13, kSoliComp, "SOLICOMP.xml", "SOLICOMP.pdb", 19, 19, "SOLICOMP.cds"},
    {"cdsDataEfet", "DATAEFET", S::Slot, 15, kDataEfet, "DATAEFET.xml", "DATAEFET.pdb", 24, 24, "DATAEFET.cds"},
    {"cdsNumAF", "NUMAF", S::Slot, 16, kNumAF, "NUMAF.xml", "NUMAF.pdb", 25, 25, "NUMAF.cds"},
    {"cdsItemAF", "ITEMAF", S::Slot, 17, kItemAF, "ITEMAF.xml", "ITEMAF.pdb", 26, 26, "ITEMAF.cds"},
    {"cdsJustSoli", "JUSTSOLI", S::Slot, 18, kJustSoli, "JUSTSOLI.xml", "JUSTSOLI.pdb", 27, 27, "JUSTSOLI.cds"},
    {"cdsParaSupri", "PARASUPRI", S::Slot, 19, kParaSupri, "PARASUPRI.xml", "PARASUPRI.pdb", 28, 28, "PARASUPRI.cds"},
    {"cdsPrevReti", "PREVRETI", S::Slot, 20, kPrevReti, "PREVRETI.xml", "PREVRETI.pdb", 29, 29, "PREVRETI.cds"},
    {"cdsDtPrevReti", "DTPREVRETI", S::Slot, 21, kDtPrevReti, "DTPREVRETI.xml", "DTPREVRETI.pdb", 30, 30, "DTPREVRETI.cds"},
    {"cdsTipoReti", "TIPORETI", S::Slot, 22, kTipoReti, "TIPORETI.xml", "TIPORETI.pdb", 31, 31, "TIPORETI.cds"},
    {"cdsServRetirada", "SERVRETIRADA", S::Slot, 23, kServRetirada, "SERVRETIRADA.xml", "SERVRETIRADA.pdb", 32, 32, "SERVRETIRADA.cds"},
    {"cdsProdutoCod", "PROD_COD", S::Built, -1, kProdCod, "PROD_COD.xml", "PROD_COD.pdb", 33, 33, "PROD_COD.cds"},
    {"cdsIdioma", "TRADUCAO", S::Built, -1, kIdioma, "TRADUCAO.xml", "TRADUCAO.pdb", 34, 34, ""},
    {"cdsItemInvent", "ITEMINVENT", S::Slot, 24, kItemInvent, "", "", 0, 0, "ITEMINVENT.cds"},
    {"cdsExpFilial", "EXPFILIAL", S::Slot, 25, kExpFilial, "EXPFILIAL.xml", "EXPFILIAL.pdb", 37, 0, "EXPFILIAL.cds"},
    {"cdsDados", "DADOS_EEPC", S::Settings, -1, kDados, "", "", 0, 0, "DADOS_EEPC.CDS"},
    {"cdsProdCod", "", S::Local, -1, kProdCod, "", "", 0, 0, ""},
    {"cdsHistPalm", "", S::Local, -1, kHistPalm, "", "", 0, 0, ""},
    {"cdsAgrupProd", "", S::Local, -1, kAgrupProd, "", "", 0, 0, ""},
};

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
