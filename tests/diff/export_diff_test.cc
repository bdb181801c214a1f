#include "diff/export_diff.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "diff/report_print.h"
#include "catalogue/catalogue.h"
#include "palm/pdb_conversion.h"
#include "palm/prevreti.h"
#include "platform/common/error.h"
#include "support/temp_folder.h"

namespace kve::diff {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Outcome = TableReport::Outcome;
namespace fs = std::filesystem;

// Writes `ds` as `file` in the form its extension names: .xml, .cds, or .pdb (made from an
// XML file by the export's own Palm conversion).
void Save(const TClientDataSet& ds, const fs::path& file) {
  const std::string ext = file.extension().string();
  if (ext == ".pdb") {
    const fs::path xml = file.parent_path() / (file.stem().string() + ".pdb-source.xml");
    ds.SaveToFile(xml, DataPacketFormat::Xml);
    TPDBPocketStudio pdm;
    palm::ConfigureWriter(pdm);
    palm::NoProgress progress;
    palm::ConvertXmlFile(xml, file, file.stem().string(), pdm, progress);
    fs::remove(xml);
    return;
  }
  ds.SaveToFile(file, ext == ".xml" ? DataPacketFormat::Xml : DataPacketFormat::Binary);
}

// A catalogue table filled with rows of texts, one vector per row in column order.
void Fill(TClientDataSet& ds, std::string_view table, const std::vector<std::vector<std::string>>& rows) {
  exporting::CreateEmpty(ds, exporting::FindTable(table));
  for (const auto& row : rows) {
    ds.Append();
    for (size_t i = 0; i < row.size(); ++i) ds.Fields(static_cast<int>(i)).SetAsString(row[i]);
    ds.Post();
  }
}

// Every column type, with values the Palm writer changes: a time of day, a double that is
// no single, integers beyond the narrower width, nulls.
void EveryType(TClientDataSet& ds) {
  ds.FieldDefs() = {StringField("NMPRODUTO", 50), TypedField("QT16", FieldType::Int16),
                    TypedField("PRODUTONRO", FieldType::Int32), TypedField("QT64", FieldType::Int64),
                    TypedField("VRPRECO", FieldType::Float), TypedField("IDATIVO", FieldType::Boolean),
                    TypedField("DTENTREGA", FieldType::Date), TypedField("HRENTREGA", FieldType::Time),
                    TypedField("DTEFETIVO", FieldType::DateTime)};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("NMPRODUTO").SetAsString("FEIJÃO & AÇÚCAR");
  ds.FieldByName("QT16").SetAsInteger(300);
  ds.FieldByName("PRODUTONRO").SetAsInteger(70000);
  ds.FieldByName("QT64").SetAsInteger(0x1'0000'0005);
  ds.FieldByName("VRPRECO").SetAsFloat(0.1);
  ds.FieldByName("IDATIVO").SetAsBoolean(true);
  ds.FieldByName("DTENTREGA").SetAsDateTime(TDateTime::FromDate({2008, 12, 25}));
  ds.FieldByName("HRENTREGA").SetAsDateTime(TDateTime::FromDate({1899, 12, 30}, {14, 30}));
  ds.FieldByName("DTEFETIVO").SetAsDateTime(TDateTime::FromDate({2009, 1, 2}, {14, 30, 5}));
  ds.Post();
  ds.Append();  // every column null
  ds.Post();
}

TEST(ExportDiff, OneTableInEveryPairingOfFormsIsEqual) {
  testing::TempFolder dir;
  TClientDataSet ds;
  EveryType(ds);
  for (const char* f : {"AMOSTRA.xml", "AMOSTRA.cds", "AMOSTRA.pdb"}) Save(ds, dir / f);
  const std::pair<const char*, const char*> pairs[] = {
      {"AMOSTRA.xml", "AMOSTRA.cds"}, {"AMOSTRA.cds", "AMOSTRA.xml"}, {"AMOSTRA.xml", "AMOSTRA.pdb"},
      {"AMOSTRA.pdb", "AMOSTRA.cds"}, {"AMOSTRA.pdb", "AMOSTRA.pdb"}, {"AMOSTRA.xml", "AMOSTRA.xml"}};
  for (const auto& [o, n] : pairs) {
    const Report r = DiffPaths(dir / o, dir / n);
    ASSERT_EQ(r.tables.size(), 1u) << o << " " << n;
    EXPECT_EQ(r.tables[0].error, "") << o << " " << n;
    EXPECT_EQ(r.ExitStatus(), 0) << o << " " << n;
    EXPECT_EQ(r.tables[0].diff.unchanged, 2) << o << " " << n;
  }
}

TEST(ExportDiff, PalmFormStillSeesWhatTheHandheldWouldRead) {
  testing::TempFolder dir;
  TClientDataSet ds;
  EveryType(ds);
  Save(ds, dir / "AMOSTRA.pdb");
  ds.First();
  ds.Edit();
  ds.FieldByName("DTEFETIVO").SetAsDateTime(TDateTime::FromDate({2009, 1, 3}, {14, 30, 5}));
  ds.FieldByName("VRPRECO").SetAsFloat(0.2);
  ds.Post();
  Save(ds, dir / "AMOSTRA.xml");
  const Report r = DiffPaths(dir / "AMOSTRA.pdb", dir / "AMOSTRA.xml");
  ASSERT_EQ(r.tables.size(), 1u);
  const TableReport& t = r.tables[0];
  EXPECT_TRUE(t.palmForm);
  ASSERT_EQ(t.diff.changed.size(), 1u);
  std::vector<std::string> names;
  for (int c : t.diff.changed[0].columns) names.push_back(t.diff.columns[static_cast<size_t>(c)].name);
  EXPECT_THAT(names, ElementsAre("VRPRECO", "DTEFETIVO"));
  EXPECT_EQ(r.ExitStatus(), 1);
}

TEST(ExportDiff, AcrossFormsTheForecastLeavesOutTheColumnsItsDatabaseWritesOfItsOwn) {
  testing::TempFolder dir;
  TClientDataSet ds;
  Fill(ds, "PREVRETI", {{"0001", "ALM", "02/01/2009", "42", "0101", "A1", "ARROZ", "KG", "7", "1,5", "01",
                         "NORMAL", "SUP", "x"}});
  Save(ds, dir / "PREVRETI.xml");
  palm::PrevRetiOptions options;
  options.maskProduct = palm::ProductMaskFormatter("99.99;0;_");
  options.operatorCode = "ADMIN";
  palm::NoProgress progress;
  palm::CriaPDBPrevReti(ds, dir.path(), options, progress);
  const Report across = DiffPaths(dir / "PREVRETI.xml", dir / "PREVRETI.pdb");
  EXPECT_THAT(across.tables.at(0).notCompared, ElementsAre("QTPREVRETI", "QTCONSRETI", "CDPSQPROD", "CDOPERADOR"));
  EXPECT_EQ(across.ExitStatus(), 0);
  const Report same = DiffPaths(dir / "PREVRETI.pdb", dir / "PREVRETI.pdb");
  EXPECT_TRUE(same.tables.at(0).notCompared.empty());
  EXPECT_EQ(same.tables.at(0).diff.columns.size(), 14u);
}

TEST(ExportDiff, RowsAreMatchedByTheCatalogueKeyInAnyPairing) {
  const std::vector<std::vector<std::string>> before = {
      {"1", "01", "A1", "ARROZ", "KG"}, {"2", "02", "B2", "FEIJAO", "KG"}, {"3", "03", "C3", "SAL", "G"}};
  // reordered; 2 gone, 4 new, 3 renamed
  const std::vector<std::vector<std::string>> after = {
      {"3", "03", "C3", "SAL GROSSO", "G"}, {"1", "01", "A1", "ARROZ", "KG"}, {"4", "04", "D4", "OLEO", "L"}};
  const std::pair<const char*, const char*> pairs[] = {{"old.xml", "new.xml"}, {"old.cds", "new.pdb"}};
  for (const auto& [o, n] : pairs) {
    testing::TempFolder dir;
    TClientDataSet a, b;
    Fill(a, "PRODUTO", before);
    Fill(b, "PRODUTO", after);
    fs::create_directories(dir / "old");
    fs::create_directories(dir / "new");
    const fs::path oldFile = dir / "old" / ("PRODUTO" + fs::path(o).extension().string());
    const fs::path newFile = dir / "new" / ("PRODUTO" + fs::path(n).extension().string());
    Save(a, oldFile);
    Save(b, newFile);
    const Report r = DiffPaths(oldFile, newFile);
    ASSERT_EQ(r.tables.size(), 1u) << o;
    const TableDiff& d = r.tables[0].diff;
    EXPECT_THAT(d.key, ElementsAre("CDPRODUTO")) << o;
    EXPECT_THAT(d.removed, ElementsAre(1)) << o;  // "2", old row 2
    EXPECT_THAT(d.added, ElementsAre(2)) << o;    // "4", new row 3
    ASSERT_EQ(d.changed.size(), 1u) << o;
    EXPECT_EQ(d.changed[0].oldRow, 2) << o;
    EXPECT_EQ(d.changed[0].newRow, 0) << o;
    EXPECT_THAT(d.changed[0].columns, ElementsAre(3)) << o;  // NMPRODUTO
    EXPECT_EQ(d.unchanged, 1) << o;
    EXPECT_EQ(r.ExitStatus(), 1) << o;
  }
}

TEST(ExportDiff, RowsSharingAKeyAreMatchedInOrder) {
  testing::TempFolder dir;
  TClientDataSet a, b;
  Fill(a, "PRODUTO", {{"1", "", "", "ARROZ", ""}, {"1", "", "", "ARROZ 2", ""}, {"1", "", "", "ARROZ 3", ""}});
  Fill(b, "PRODUTO", {{"1", "", "", "ARROZ", ""}, {"1", "", "", "ARROZ 3", ""}});
  Save(a, dir / "a.xml");
  Save(b, dir / "PRODUTO.xml");
  const TableDiff d = DiffPaths(dir / "a.xml", dir / "PRODUTO.xml").tables.at(0).diff;
  EXPECT_EQ(d.sharedKeyRows, 5);
  EXPECT_EQ(d.unchanged, 1);
  ASSERT_EQ(d.changed.size(), 1u);  // the second of each side
  EXPECT_EQ(d.changed[0].oldRow, 1);
  EXPECT_THAT(d.removed, ElementsAre(2));
  EXPECT_TRUE(d.added.empty());
}

TEST(ExportDiff, WithoutKeyRowsAreMatchedByPosition) {
  testing::TempFolder dir;
  TClientDataSet a, b;
  Fill(a, "PARAM", {{"S", "N"}});
  Fill(b, "PARAM", {{"S", "S"}, {"N", "N"}});
  Save(a, dir / "PARAM.cds");
  Save(b, dir / "PARAM.xml");
  const Report r = DiffPaths(dir / "PARAM.cds", dir / "PARAM.xml");
  const TableDiff& d = r.tables.at(0).diff;
  EXPECT_TRUE(d.key.empty());
  ASSERT_EQ(d.changed.size(), 1u);
  EXPECT_THAT(d.changed[0].columns, ElementsAre(1));
  EXPECT_THAT(d.added, ElementsAre(1));
  EXPECT_TRUE(d.removed.empty());
  // a key named by the caller replaces the catalogue's (here none)
  DiffOptions byName;
  byName.key = std::vector<std::string>{"IDBLOQNFSAF"};
  const TableDiff k = DiffPaths(dir / "PARAM.cds", dir / "PARAM.xml", byName).tables.at(0).diff;
  ASSERT_EQ(k.changed.size(), 1u);
  EXPECT_EQ(k.changed[0].newRow, 1);  // ("N", "N") has the old row's "N"
  EXPECT_THAT(k.changed[0].columns, ElementsAre(0));
  EXPECT_THAT(k.added, ElementsAre(0));
}

TEST(ExportDiff, FoldersPairFilesByNameThenAcrossFormsAndReportTablesOnOneSide) {
  testing::TempFolder dir;
  const fs::path o = dir / "old", n = dir / "new";
  fs::create_directories(o);
  fs::create_directories(n);
  TClientDataSet produto, filial, efetivos;
  Fill(produto, "PRODUTO", {{"1", "01", "A1", "ARROZ", "KG"}});
  Fill(filial, "FILIAL", {{"0001", "CENTRAL", "0001", "N"}, {"0002", "ESCOLA", "0001", "N"}});
  Fill(efetivos, "EFETIVOS", {{"0001", "1", "1", "0002", "02/01/2009 11:30:00", "ALM", "NORMAL", "10", "2", "0", "x"}});
  Save(produto, o / "PRODUTO.xml");
  Save(produto, n / "PRODUTO.CDS");  // across forms
  Save(efetivos, o / "EFETIVOS.cds");
  Save(efetivos, n / "EFETIVOS.CDS");  // same name but for letter case
  Save(filial, o / "FILIAL.xml");      // old only
  Save(filial, n / "OPERADOR.pdb");    // new only (any rows will do)
  testing::WriteBytes(o / "KVE.prc", "not a table");
  const Report r = DiffPaths(o, n);
  std::vector<std::pair<std::string, Outcome>> got;
  for (const TableReport& t : r.tables) got.emplace_back(t.table, t.outcome);
  EXPECT_THAT(got, ElementsAre(std::pair{std::string("EFETIVOS"), Outcome::Equal},
                               std::pair{std::string("FILIAL"), Outcome::OnlyOld},
                               std::pair{std::string("OPERADOR"), Outcome::OnlyNew},
                               std::pair{std::string("PRODUTO"), Outcome::Equal}));
  EXPECT_EQ(r.tables[1].rows, 2);
  EXPECT_EQ(r.ExitStatus(), 1);
}

TEST(ExportDiff, AnUnreadableFileIsNamedAndExitsTwoWhileTheOtherTablesAreCompared) {
  const std::pair<const char*, std::string> broken[] = {
      {"PRODUTO.xml", "<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"},
      {"PRODUTO.cds", std::string("\x96\x19\xE0\xBD\x01\x00", 6)},
      {"PRODUTO.pdb", "PRODUTO"},
  };
  for (const auto& [name, bytes] : broken) {
    testing::TempFolder dir;
    const fs::path o = dir / "old", n = dir / "new";
    fs::create_directories(o);
    fs::create_directories(n);
    TClientDataSet produto, filial;
    Fill(produto, "PRODUTO", {{"1", "01", "A1", "ARROZ", "KG"}});
    Fill(filial, "FILIAL", {{"0001", "CENTRAL", "0001", "N"}});
    Save(produto, o / name);
    testing::WriteBytes(n / name, bytes);
    Save(filial, o / "FILIAL.xml");
    filial.First();
    filial.Edit();
    filial.Fields(1).SetAsString("MATRIZ");
    filial.Post();
    Save(filial, n / "FILIAL.xml");
    const Report folders = DiffPaths(o, n);
    ASSERT_EQ(folders.tables.size(), 2u) << name;
    EXPECT_EQ(folders.tables[0].outcome, Outcome::Differ) << name;  // FILIAL
    EXPECT_EQ(folders.tables[1].outcome, Outcome::Failed) << name;
    EXPECT_THAT(folders.tables[1].error, HasSubstr((n / name).string())) << name;
    EXPECT_EQ(folders.ExitStatus(), 2) << name;
    const Report files = DiffPaths(n / name, o / name);
    EXPECT_THAT(files.tables.at(0).error, HasSubstr((n / name).string())) << name;
    EXPECT_EQ(files.ExitStatus(), 2) << name;
  }
  testing::TempFolder dir;
  fs::create_directories(dir / "folder");
  testing::WriteBytes(dir / "file.xml", "<x/>");
  EXPECT_THROW(DiffPaths(dir / "folder", dir / "file.xml"), Error);
  EXPECT_THROW(DiffPaths(dir / "missing.xml", dir / "file.xml"), IoError);
}

// A Palm database of `fields` fields without bytes and `records` empty records: eight bytes
// a record however many fields.
std::string ZeroWidthPdb(int fields, int records) {
  std::string b(78, '\0');
  b.replace(0, 7, "BOMBPDB");
  b.replace(60, 8, "DATAKVE0");
  const auto u16 = [](std::string& s, size_t at, unsigned v) {
    s[at] = static_cast<char>(v >> 8);
    s[at + 1] = static_cast<char>(v & 0xFF);
  };
  const auto u32 = [&](std::string& s, size_t at, size_t v) {
    u16(s, at, static_cast<unsigned>(v >> 16));
    u16(s, at + 2, static_cast<unsigned>(v & 0xFFFF));
  };
  u16(b, 76, static_cast<unsigned>(records));
  std::string app(2, '\0');
  u16(app, 0, static_cast<unsigned>(fields));
  for (int f = 0; f < fields; ++f) app += std::string("\xFF\0\0", 3) + "F" + std::to_string(f) + '\0';
  const size_t appAt = 78 + 8 * static_cast<size_t>(records) + 2;
  u32(b, 52, appAt);
  const size_t end = appAt + app.size();
  for (int r = 0; r < records; ++r) {
    std::string entry(8, '\0');
    u32(entry, 0, end);
    b += entry;
  }
  return b + std::string(2, '\0') + app;
}

TEST(ExportDiff, APalmDatabaseOutOfProportionToItsBytesIsRefusedNamingTheFile) {
  testing::TempFolder dir;
  const std::string bomb = ZeroWidthPdb(2000, 65535);  // 0.5 MB that would take 1 GB a side
  testing::WriteBytes(dir / "BOMB.pdb", bomb);
  testing::WriteBytes(dir / "SMALL.pdb", ZeroWidthPdb(2000, 3));
  const Report r = DiffPaths(dir / "SMALL.pdb", dir / "BOMB.pdb");
  ASSERT_EQ(r.tables.size(), 1u);
  EXPECT_EQ(r.ExitStatus(), 2);
  EXPECT_THAT(r.tables[0].error,
              HasSubstr((dir / "BOMB.pdb").string() + ": 65535 rows of 2000 fields are out of proportion to the " +
                        std::to_string(bomb.size()) + " bytes of the file"));
  // the same fields over a few records are a table like any other
  EXPECT_EQ(DiffPaths(dir / "SMALL.pdb", dir / "SMALL.pdb").ExitStatus(), 0);
}

TEST(ExportDiff, PrintsChangedColumnsWithOldAndNewValueInTextAndJson) {
  testing::TempFolder dir;
  TClientDataSet a, b;
  Fill(a, "PRODUTO", {{"1", "01", "A1", "ARROZ", "KG"}, {"2", "02", "B2", "SAL", ""}});
  Fill(b, "PRODUTO", {{"1", "01", "A1", "ARROZ", "G"}});
  Save(a, dir / "PRODUTO.xml");
  Save(b, dir / "PRODUTO.pdb");
  const Report r = DiffPaths(dir / "PRODUTO.xml", dir / "PRODUTO.pdb");
  std::ostringstream text;
  PrintText(text, r);
  EXPECT_THAT(text.str(), HasSubstr("PRODUTO: 0 added, 1 removed, 1 changed, 0 unchanged (rows by key CDPRODUTO, "
                                    "as the Palm database holds them)\n"));
  EXPECT_THAT(text.str(), HasSubstr("\n~ CDPRODUTO=\"1\": SGUNIDADE \"KG\" -> \"G\"\n"));
  EXPECT_THAT(text.str(), HasSubstr("\n- CDPRODUTO=\"2\": CDPRODUTO=\"2\", CDARVPROD=\"02\","));
  std::ostringstream json;
  PrintJson(json, r);
  const auto j = nlohmann::json::parse(json.str());
  EXPECT_EQ(j["equal"], false);
  const auto& t = j["tables"][0];
  EXPECT_EQ(t["outcome"], "differ");
  EXPECT_EQ(t["matchedBy"], nlohmann::json::array({"CDPRODUTO"}));
  EXPECT_EQ(t["removed"][0]["values"]["NMPRODUTO"], "SAL");
  EXPECT_EQ(t["changed"][0]["columns"]["SGUNIDADE"], nlohmann::json({{"old", "KG"}, {"new", "G"}}));
}

}  // namespace
}  // namespace kve::diff
