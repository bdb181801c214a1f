#include "palm/pdb_conversion.h"

#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "palm/progress_recorder.h"
#include "platform/common/error.h"
#include "platform/pdb/pdb_reader.h"
#include "support/temp_folder.h"

namespace kve::palm {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using T = TPDBPSFieldType;
namespace fs = std::filesystem;

// A column of every type the tables can hold, and rows that exercise the narrowing.
void MakeEveryType(TClientDataSet& ds) {
  ds.FieldDefs() = {StringField("NMPRODUTO", 50),
                    TypedField("QT16", FieldType::Int16),
                    TypedField("PRODUTONRO", FieldType::Int32),
                    TypedField("QT64", FieldType::Int64),
                    TypedField("VRPRECO", FieldType::Float),
                    TypedField("IDATIVO", FieldType::Boolean),
                    TypedField("DTENTREGA", FieldType::Date),
                    TypedField("HRENTREGA", FieldType::Time),
                    TypedField("DTEFETIVO", FieldType::DateTime)};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("NMPRODUTO").SetAsString("FEIJÃO & AÇÚCAR");
  ds.FieldByName("QT16").SetAsInteger(300);            // PSInt8: 44
  ds.FieldByName("PRODUTONRO").SetAsInteger(70000);    // PSInt16: 4464
  ds.FieldByName("QT64").SetAsInteger(0x1'0000'0005);  // PSInt32: 5
  ds.FieldByName("VRPRECO").SetAsFloat(0.1);
  ds.FieldByName("IDATIVO").SetAsBoolean(true);
  ds.FieldByName("DTENTREGA").SetAsDateTime(TDateTime::FromDate({2008, 12, 25}));
  ds.FieldByName("HRENTREGA").SetAsDateTime(TDateTime::FromDate({1899, 12, 30}, {14, 30}));
  ds.FieldByName("DTEFETIVO").SetAsDateTime(TDateTime::FromDate({2009, 1, 2}, {14, 30, 5}));
  ds.Post();
  ds.Append();  // every column null
  ds.Post();
  ds.Append();
  ds.FieldByName("QT16").SetAsInteger(-129);          // 127
  ds.FieldByName("PRODUTONRO").SetAsInteger(-32769);  // 32767
  ds.FieldByName("DTEFETIVO").SetAsDateTime(TDateTime::FromDate({2009, 1, 3}));
  ds.Post();
}

void SaveTable(const fs::path& file, std::vector<FieldDef> defs, int rows) {
  TClientDataSet ds;
  ds.FieldDefs() = std::move(defs);
  ds.CreateDataSet();
  for (int i = 0; i < rows; ++i) {
    ds.Append();
    ds.Fields(0).SetAsString(std::to_string(i));
    ds.Post();
  }
  ds.SaveToFile(file, DataPacketFormat::Xml);
}

std::vector<std::string> Files(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(PdbConversion, TableSavedAsXmlReadsBackFieldByFieldWithEachTypeNarrowed) {
  testing::TempFolder dir;
  TClientDataSet table;
  MakeEveryType(table);
  table.SaveToFile(dir / "AMOSTRA.xml", DataPacketFormat::Xml);
  ProgressRecorder progress;

  EXPECT_THAT(ConvertXmlFolder(dir.path(), progress), ElementsAre("AMOSTRA.pdb"));
  EXPECT_THAT(progress.events, ElementsAre("start 3", "step 3", "finish"));

  const auto db = pdb::PdbFile::Load(dir / "AMOSTRA.pdb");
  EXPECT_EQ(db.Header().name, "AMOSTRA");
  EXPECT_EQ(db.Header().creator, "RKVE");
  EXPECT_EQ(db.Header().type, "DBCS");
  const std::vector<std::optional<T>> types = {T::PSString, T::PSInt8,    T::PSInt16,
                                               T::PSInt32,  T::PSDouble,  T::PSBoolean,
                                               T::PSDate,   std::nullopt, T::PSDate};
  ASSERT_EQ(db.Fields().size(), types.size());
  for (size_t i = 0; i < types.size(); ++i) {
    EXPECT_EQ(db.Fields()[i].name, table.FieldDefs()[i].name);
    EXPECT_EQ(db.Fields()[i].type, types[i]) << db.Fields()[i].name;
    EXPECT_EQ(db.Fields()[i].size, 0);
  }
  ASSERT_EQ(db.RecordCount(), 3);
  auto texts = [&](int r) {
    std::vector<std::string> out;
    for (const auto& v : db.Record(r)) out.push_back(v.Text());
    return out;
  };
  // the date-time with a time of day keeps its date; the time column takes no bytes
  EXPECT_THAT(texts(0), ElementsAre("FEIJÃO & AÇÚCAR", "44", "4464", "5", "0.1", "True",
                                    "25/12/2008", "", "02/01/2009"));
  EXPECT_EQ(db.Record(0)[4].real, static_cast<double>(0.1f));
  // nulls are written as zeros, dates as "no date"
  EXPECT_THAT(texts(1), ElementsAre("", "0", "0", "0", "0", "False", "", "", ""));
  EXPECT_EQ(db.Record(1)[8].integer, 0);
  EXPECT_THAT(texts(2), ElementsAre("", "127", "32767", "0", "0", "False", "", "", "03/01/2009"));
}

TEST(PdbConversion, ConvertsEveryXmlButExactlyPrevreti) {
  testing::TempFolder dir;
  const std::vector<FieldDef> defs = {StringField("CD", 5)};
  SaveTable(dir / "PREVRETI.xml", defs, 1);
  SaveTable(dir / "prevreti.xml", defs, 2);
  SaveTable(dir / "STRAY.xml", defs, 3);  // in no list of the export: converted all the same
  SaveTable(dir / "UPPER.XML", defs, 4);
  testing::WriteBytes(dir / "NOTES.txt", "not a table");
  fs::create_directory(dir / "FOLDER.xml");
  NoProgress progress;

  EXPECT_THAT(ConvertXmlFolder(dir.path(), progress),
              ElementsAre("STRAY.pdb", "UPPER.pdb", "prevreti.pdb"));
  EXPECT_FALSE(fs::exists(dir / "PREVRETI.pdb"));
  EXPECT_EQ(pdb::PdbFile::Load(dir / "prevreti.pdb").Header().name, "prevreti");
  EXPECT_EQ(pdb::PdbFile::Load(dir / "prevreti.pdb").RecordCount(), 2);
  EXPECT_EQ(pdb::PdbFile::Load(dir / "STRAY.pdb").RecordCount(), 3);
  EXPECT_EQ(pdb::PdbFile::Load(dir / "UPPER.pdb").Header().name, "UPPER");
}

TEST(PdbConversion, EmptyTableAndEmptyFolder) {
  testing::TempFolder dir;
  ProgressRecorder progress;
  EXPECT_TRUE(ConvertXmlFolder(dir.path(), progress).empty());
  EXPECT_THAT(progress.events, ElementsAre("finish"));  // caption and bar reset all the same
  EXPECT_TRUE(fs::is_empty(dir.path()));

  SaveTable(dir / "VAZIO.xml", {StringField("CD", 5), TypedField("N", FieldType::Int32)}, 0);
  ConvertXmlFolder(dir.path(), progress);
  const auto db = pdb::PdbFile::Load(dir / "VAZIO.pdb");
  EXPECT_EQ(db.RecordCount(), 0);
  ASSERT_EQ(db.Fields().size(), 2u);
  EXPECT_EQ(db.Fields()[1].type, T::PSInt16);
}

TEST(PdbConversion, SecondRunReplacesEveryDatabase) {
  testing::TempFolder dir;
  const std::vector<FieldDef> defs = {StringField("CD", 5)};
  SaveTable(dir / "A.xml", defs, 5);
  SaveTable(dir / "B.xml", defs, 6);
  NoProgress progress;
  ConvertXmlFolder(dir.path(), progress);
  SaveTable(dir / "A.xml", defs, 1);
  SaveTable(dir / "B.xml", defs, 2);
  ConvertXmlFolder(dir.path(), progress);
  EXPECT_EQ(pdb::PdbFile::Load(dir / "A.pdb").RecordCount(), 1);
  EXPECT_EQ(pdb::PdbFile::Load(dir / "B.pdb").RecordCount(), 2);
  EXPECT_THAT(Files(dir.path()), ElementsAre("A.pdb", "A.xml", "B.pdb", "B.xml"));
}

TEST(PdbConversion, FailureStopsTheRunKeepsWhatWasDoneAndLeavesNoFieldsBehind) {
  testing::TempFolder dir;
  const std::vector<FieldDef> defs = {StringField("CD", 5)};
  SaveTable(dir / "A.xml", defs, 1);
  testing::WriteBytes(dir / "B.xml", "<DATAPACKET");
  testing::WriteBytes(dir / "B.pdb", "earlier");
  SaveTable(dir / "C.xml", defs, 1);
  TPDBPocketStudio pdm;
  ConfigureWriter(pdm);
  NoProgress progress;
  try {
    ConvertXmlFolder(dir.path(), pdm, progress);
    FAIL() << "a malformed file was converted";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("B.xml"));
  }
  EXPECT_EQ(pdm.Fields().Count(), 0);
  EXPECT_FALSE(pdm.Active());
  EXPECT_THAT(Files(dir.path()), ElementsAre("A.pdb", "A.xml", "B.pdb", "B.xml", "C.xml"));
  EXPECT_EQ(testing::ReadBytes(dir / "B.pdb"), "earlier");
}

// A value the Palm cannot hold, in the third row of an otherwise plain table: the message
// names the database, the record and the field, and no database appears.
void ExpectRefused(FieldDef def, const std::function<void(TField)>& set, const char* what) {
  SCOPED_TRACE(what);
  testing::TempFolder dir;
  TClientDataSet ds("ITEMAF");
  ds.FieldDefs() = {StringField("CD", 5), def};
  ds.CreateDataSet();
  for (int i = 0; i < 3; ++i) {
    ds.Append();
    ds.Fields(0).SetAsString("A");
    if (i == 2) set(ds.Fields(1));
    ds.Post();
  }
  TPDBPocketStudio pdm;
  ConfigureWriter(pdm);
  pdm.SetDBName("ITEMAF");
  DefineFields(ds, pdm);
  pdm.SetDirectory(dir.path());
  pdm.SetPDBFilename("ITEMAF.pdb");
  pdm.CreateDatabase();
  NoProgress progress;
  try {
    ImportaPDB(ds, pdm, progress);
    FAIL() << "the value was written";
  } catch (const ValueError& e) {
    EXPECT_THAT(e.what(), HasSubstr("ITEMAF.pdb: record 3: " + def.name));
    EXPECT_THAT(e.what(), HasSubstr(what));
  }
  pdm.CancelDatabase();
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(PdbConversion, ValuesAPalmCannotHoldAreRefusedNamingRecordAndField) {
  ExpectRefused(StringField("NMPRODUTO", 20), [](TField f) { f.SetAsString("FEIJÃO 中"); },
                "U+4E2D");
  ExpectRefused(StringField("NMPRODUTO", 20),
                [](TField f) { f.SetAsString(std::string("A\0B", 3)); }, "NUL");
  ExpectRefused(TypedField("DTENTREGA", FieldType::Date),
                [](TField f) { f.SetAsDateTime(TDateTime::FromDate({1903, 12, 31})); }, "1904");
  ExpectRefused(TypedField("VRPRECO", FieldType::Float), [](TField f) { f.SetAsFloat(1e39); },
                "single precision");
}

TEST(PdbConversion, TableOfMoreRowsThanAPalmDatabaseHoldsIsRefusedByName) {
  testing::TempFolder dir;
  SaveTable(dir / "PROD_COD.xml", {StringField("CD", 5)}, 65536);
  NoProgress progress;
  try {
    ConvertXmlFolder(dir.path(), progress);
    FAIL() << "65,536 rows were accepted";
  } catch (const ValueError& e) {
    EXPECT_THAT(e.what(), HasSubstr("PROD_COD.pdb"));
  }
  EXPECT_THAT(Files(dir.path()), ElementsAre("PROD_COD.xml"));
}

}  // namespace
}  // namespace kve::palm
