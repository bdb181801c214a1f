#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/common/error.h"

namespace kve::exporting {
namespace {

std::vector<std::string> Names(const std::vector<FileEntry>& files) {
  std::vector<std::string> out;
  for (const FileEntry& f : files) out.emplace_back(f.file);
  return out;
}

TEST(Catalogue, PalmXmlFilesAreWrittenInTheExportOrder) {
  const std::vector<std::string> expected = {
      "EFETCLIE.xml", "INVENTARIO.xml", "ITEMENTR.xml", "ITEMSAID.xml", "LANCENTR.xml",
      "LANCSAID.xml", "VENCENTR.xml", "VENCSAID.xml", "EFETIVOS.xml", "SERVCLIE.xml",
      "FILIAL.xml", "SERVICO.xml", "OPERADOR.xml", "PARAM.xml", "TIPOCARD.xml", "FORNECED.xml",
      "PRODUTO.xml", "CLIENTE.xml", "SERIE.xml", "TIPOOPER.xml", "DATASOLI.xml", "SOLICITA.xml",
      "SOLICOMP.xml", "DATAEFET.xml", "NUMAF.xml", "ITEMAF.xml", "JUSTSOLI.xml", "PARASUPRI.xml",
      "PREVRETI.xml", "DTPREVRETI.xml", "TIPORETI.xml", "SERVRETIRADA.xml", "PROD_COD.xml",
      "TRADUCAO.xml", "EXPFILIAL.xml"};
  const std::vector<FileEntry> files = PalmXmlFiles();
  EXPECT_EQ(Names(files), expected);
  EXPECT_EQ(files[32].table->dataset, "cdsProdutoCod");
  EXPECT_EQ(files[33].table->dataset, "cdsIdioma");
}

TEST(Catalogue, EeepcFilesKeepTheirMixedLetterCase) {
  const std::vector<std::string> expected = {
      "EFETCLIE.cds", "INVENTARIO.cds", "ITEMENTR.cds", "ITEMSAID.cds", "LANCENTR.cds",
      "LANCSAID.cds", "VENCENTR.cds", "VENCSAID.cds", "EFETIVOS.CDS", "SERVCLIE.CDS",
      "FILIAL.CDS", "SERVICO.CDS", "PARAM.CDS", "TIPOCARD.CDS", "FORNECED.CDS", "PRODUTO.CDS",
      "CLIENTE.CDS", "SERIE.CDS", "TIPOOPER.CDS", "DATASOLI.CDS", "SOLICITA.cds", "SOLICOMP.cds",
      "DATAEFET.cds", "NUMAF.cds", "ITEMAF.cds", "JUSTSOLI.cds", "PARASUPRI.cds", "PREVRETI.cds",
      "DTPREVRETI.cds", "TIPORETI.cds", "SERVRETIRADA.cds", "PROD_COD.cds", "ITEMINVENT.cds",
      "EXPFILIAL.cds"};
  EXPECT_EQ(Names(EeepcFiles()), expected);
  EXPECT_EQ(EeepcSettingsTable().eeepcFile, "DADOS_EEPC.CDS");
  EXPECT_EQ(EeepcSettingsTable().dataset, "cdsDados");
}

TEST(Catalogue, PalmQueueHoldsDatabasesThenApplicationFilesThenExpFilial) {
  const std::vector<std::string> pdbs = {
      "EFETIVOS.pdb", "SERVCLIE.pdb", "FILIAL.pdb", "SERVICO.pdb", "OPERADOR.pdb", "PARAM.pdb",
      "EFETCLIE.pdb", "CLIENTE.pdb", "FORNECED.pdb", "INVENTARIO.pdb", "ITEMENTR.pdb",
      "ITEMSAID.pdb", "LANCENTR.pdb", "LANCSAID.pdb", "PRODUTO.pdb", "SERIE.pdb", "DATASOLI.pdb",
      "SOLICITA.pdb", "SOLICOMP.pdb", "TIPOCARD.pdb", "TIPOOPER.pdb", "VENCENTR.pdb",
      "VENCSAID.pdb", "DATAEFET.pdb", "NUMAF.pdb", "ITEMAF.pdb", "JUSTSOLI.pdb", "PARASUPRI.pdb",
      "PREVRETI.pdb", "DTPREVRETI.pdb", "TIPORETI.pdb", "SERVRETIRADA.pdb", "PROD_COD.pdb",
      "TRADUCAO.pdb"};
  const std::vector<QueueEntry> queue = PalmQueue();
  ASSERT_EQ(queue.size(), 37u);
  for (size_t i = 0; i < pdbs.size(); ++i) {
    EXPECT_EQ(queue[i].folder, QueueFolder::Export) << i;
    EXPECT_EQ(queue[i].file, pdbs[i]) << i;
  }
  EXPECT_EQ(queue[34].folder, QueueFolder::Binaries);
  EXPECT_EQ(queue[34].file, "KVE.prc");
  EXPECT_EQ(queue[35].folder, QueueFolder::Binaries);
  EXPECT_EQ(queue[35].file, "Relaybox.prc");
  EXPECT_EQ(queue[36].folder, QueueFolder::Export);
  EXPECT_EQ(queue[36].file, "EXPFILIAL.pdb");
}

TEST(Catalogue, RemovalWithdrawsEveryQueuedEntryButExpFilialInItsOwnOrder) {
  const std::vector<std::string> firstSeven = {"EFETIVOS.pdb", "FILIAL.pdb", "OPERADOR.pdb",
      "PARAM.pdb", "SERVCLIE.pdb", "EFETCLIE.pdb", "SERVICO.pdb"};
  const std::vector<QueueEntry> queue = PalmQueue(), removal = PalmRemoval();
  ASSERT_EQ(removal.size(), 36u);
  for (size_t i = 0; i < firstSeven.size(); ++i) EXPECT_EQ(removal[i].file, firstSeven[i]) << i;
  for (size_t i = 7; i < 36; ++i) {  // from CLIENTE.pdb on, the queue's order
    EXPECT_EQ(removal[i].file, queue[i].file) << i;
    EXPECT_EQ(removal[i].folder, queue[i].folder) << i;
  }
}

TEST(Catalogue, QueuePathsAreTheFolderTextFollowedByTheFileName) {
  struct Case {
    const char* dirExp;
    const char* dirBin;
    const char* first;     // EFETIVOS.pdb
    const char* kve;       // KVE.prc
    const char* last;      // EXPFILIAL.pdb (queue only)
  } cases[] = {
      {"C:\\Palm\\Kve\\Exp\\", "C:\\Palm\\Bin\\", "C:\\Palm\\Kve\\Exp\\EFETIVOS.pdb",
       "C:\\Palm\\Bin\\KVE.prc", "C:\\Palm\\Kve\\Exp\\EXPFILIAL.pdb"},
      {"", "", "EFETIVOS.pdb", "KVE.prc", "EXPFILIAL.pdb"},  // before the folders were resolved
  };
  for (const Case& c : cases) {
    const std::vector<std::string> queued = PalmQueuePaths(c.dirExp, c.dirBin);
    const std::vector<std::string> removed = PalmRemovalPaths(c.dirExp, c.dirBin);
    ASSERT_EQ(queued.size(), 37u);
    ASSERT_EQ(removed.size(), 36u);
    EXPECT_EQ(queued[0], c.first);
    EXPECT_EQ(removed[0], c.first);
    EXPECT_EQ(queued[34], c.kve);
    EXPECT_EQ(removed[34], c.kve);
    EXPECT_EQ(queued[36], c.last);
    EXPECT_EQ(std::count(removed.begin(), removed.end(), c.last), 0);
  }
}

TEST(Catalogue, SlotsFillTheServerTablesInReplyOrder) {
  const std::vector<std::string> expected = {
      "cdsEfetivos", "cdsServClie", "cdsFilial", "cdsServico", "cdsOperador", "cdsParam",
      "cdsTipoCard", "cdsForneced", "cdsProduto", "cdsCliente", "cdsSerie", "cdsTipoOper",
      "cdsDataSoli", "cdsSoliComp", "cdsSolicita", "cdsDataEfet", "cdsNumAF", "cdsItemAF",
      "cdsJustSoli", "cdsParaSupri", "cdsPrevReti", "cdsDtPrevReti", "cdsTipoReti",
      "cdsServRetirada", "cdsItemInvent", "cdsExpFilial"};
  std::vector<std::string> got;
  for (const TableSpec* t : SlotOrder()) got.emplace_back(t ? t->dataset : "(none)");
  EXPECT_EQ(got, expected);
}

TEST(Catalogue, DeviceSideTablesAreTheEightEmptyOnes) {
  std::vector<std::string> got;
  for (const TableSpec* t : EmptyTables()) got.emplace_back(t->table);
  EXPECT_EQ(got, (std::vector<std::string>{"EFETCLIE", "INVENTARIO", "ITEMENTR", "ITEMSAID",
                                           "LANCENTR", "LANCSAID", "VENCENTR", "VENCSAID"}));
}

TEST(Catalogue, NamesAreUniqueAndFieldsHaveSizesOnlyOnText) {
  std::set<std::string> datasets, tables;
  for (const TableSpec& t : Catalogue()) {
    EXPECT_TRUE(datasets.insert(std::string(t.dataset)).second) << t.dataset;
    if (!t.table.empty()) {
      EXPECT_TRUE(tables.insert(std::string(t.table)).second) << t.table;
    }
    EXPECT_EQ(t.palmXml.empty(), t.palmPdb.empty()) << t.dataset;
    std::set<std::string> fields;
    for (const FieldSpec& f : t.fields) {
      EXPECT_TRUE(fields.insert(f.name).second) << t.dataset << "." << f.name;
      EXPECT_EQ(f.type == FieldType::String, f.size > 0) << t.dataset << "." << f.name;
    }
  }
  EXPECT_EQ(datasets.size(), 40u);
}

TEST(Catalogue, KeyFieldsAreFieldsOfTheirTable) {
  int keyed = 0;
  for (const TableSpec& t : Catalogue()) {
    std::set<std::string_view> names;
    for (const FieldSpec& f : t.fields) names.insert(f.name);
    for (std::string_view k : t.KeyFields()) EXPECT_TRUE(names.count(k)) << t.Name() << "." << k;
    keyed += !t.KeyFields().empty();
  }
  EXPECT_EQ(keyed, 26);
  EXPECT_EQ(FindTable("EFETIVOS").KeyFields(),
            (std::vector<std::string_view>{"CDFILIAL", "CDSERVFILI", "CDTIPOCARD", "DTEFETIVO"}));
  EXPECT_TRUE(FindTable("PARAM").KeyFields().empty());  // one row: compared by position
}

TEST(Catalogue, MarksBecomeFieldFlags) {
  const std::vector<FieldDef> dados = FindTable("DADOS_EEPC").FieldDefs();
  ASSERT_EQ(dados.size(), 8u);
  EXPECT_EQ(dados[4].name, "CDSENHAOPE");
  EXPECT_EQ(dados[4].providerFlags, uint32_t{pfInUpdate | pfInWhere | pfHidden});
  EXPECT_FALSE(dados[4].visible);
  const std::vector<FieldDef> oper = FindTable("cdsOperador").FieldDefs();
  EXPECT_TRUE(oper[3].hidden());
  EXPECT_TRUE(oper[3].visible);
  const std::vector<FieldDef> serie = FindTable("serie").FieldDefs();
  EXPECT_TRUE(serie[2].fixed);
  EXPECT_TRUE(serie[2].readOnly);
  EXPECT_FALSE(serie[0].fixed || serie[0].readOnly || serie[0].hidden());
}

TEST(Catalogue, CreateEmptyRecreatesATableWithItsFieldsAndNoRows) {
  TClientDataSet ds;
  CreateEmpty(ds, FindTable("cdsLancEntr"));
  ds.Insert();
  ds.FieldByName("NRLANCNFE").SetAsString("1");
  ds.Post();
  CreateEmpty(ds, FindTable("cdsLancEntr"));
  EXPECT_EQ(ds.Name(), "LANCENTR");
  EXPECT_EQ(ds.RecordCount(), 0);
  ASSERT_EQ(ds.FieldCount(), 18);
  EXPECT_EQ(ds.Fields(8).Def().name, "DTEMISSAO");
  EXPECT_EQ(ds.Fields(8).Def().type, FieldType::Date);
  EXPECT_EQ(ds.Fields(14).Def().size, 51);
  EXPECT_THROW(FindTable("NOSUCH"), Error);
}

}  // namespace
}  // namespace kve::exporting
