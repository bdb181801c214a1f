#include "inspect/pdb_print.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "support/temp_folder.h"

namespace kve::pdb {
namespace {

using ::testing::HasSubstr;

PdbFile Sample(const testing::TempFolder& dir) {
  TPDBPocketStudio pdm;
  const std::pair<const char*, TPDBPSFieldType> fields[] = {
      {"NMPRODUTO", TPDBPSFieldType::PSString},
      {"DTENTREGA", TPDBPSFieldType::PSDate},
      {"VRPRECO", TPDBPSFieldType::PSDouble},
      {"IDATIVO", TPDBPSFieldType::PSBoolean}};
  for (auto [name, type] : fields) {
    TPDBPSField& f = pdm.Fields().Add();
    f.SetFieldName(name);
    f.SetDataType(type);
  }
  pdm.SetDBName("PRODUTO");
  pdm.SetDirectory(dir.path());
  pdm.SetPDBFilename("PRODUTO.pdb");
  pdm.SetTimestamp(TDateTime::FromDate({2008, 12, 25}, {14, 30, 5}));
  pdm.CreateDatabase();
  pdm.Append();
  pdm.FieldByName("NMPRODUTO").SetAsPSString("MAÇÃ\t\"FUJI\"");
  pdm.FieldByName("DTENTREGA").SetAsPSDate(TDateTime::FromDate({2009, 1, 2}));
  pdm.FieldByName("VRPRECO").SetAsPSSingle(2.5f);
  pdm.FieldByName("IDATIVO").SetAsPSBoolean(true);
  pdm.Post();
  pdm.Append();
  pdm.Post();
  pdm.CloseDatabase();
  return PdbFile::Load(dir / "PRODUTO.pdb");
}

std::string Print(const PdbFile& db, InspectFormat format) {
  std::ostringstream out;
  PrintPdb(out, db, InspectOptions{format, -1});
  return out.str();
}

TEST(PdbInspect, TextShowsHeaderFieldsAndOneLinePerRecord) {
  testing::TempFolder dir;
  const std::string s = Print(Sample(dir), InspectFormat::Text);
  EXPECT_THAT(s, HasSubstr("PRODUTO.pdb: Palm database \"PRODUTO\", type DBCS, creator RKVE\n"
                           "created 2008-12-25 14:30:05, modified 2008-12-25 14:30:05, backed up "
                           "never\nfields: 4\n"));
  EXPECT_THAT(s, HasSubstr("    2 DTENTREGA            PSDate    size 0\n"));
  EXPECT_THAT(s, HasSubstr("rows: 2\n"
                           "  MAÇÃ\t\"FUJI\" | 2009-01-02 | 2.5 | true\n"
                           "   | <no date> | 0 | false\n"));
}

TEST(PdbInspect, JsonAndCsvCarryTypedValues) {
  testing::TempFolder dir;
  const PdbFile db = Sample(dir);
  const auto j = nlohmann::json::parse(Print(db, InspectFormat::Json));
  EXPECT_EQ(j["header"]["name"], "PRODUTO");
  EXPECT_EQ(j["header"]["type"], "DBCS");
  EXPECT_EQ(j["header"]["recordCount"], 2);
  EXPECT_EQ(j["fields"][1]["type"], "PSDate");
  EXPECT_EQ(j["rows"][0], nlohmann::json::parse(R"({"NMPRODUTO": "MAÇÃ\t\"FUJI\"",
      "DTENTREGA": "2009-01-02", "VRPRECO": 2.5, "IDATIVO": true})"));
  EXPECT_EQ(j["rows"][1], nlohmann::json::parse(
                              R"({"NMPRODUTO": "", "DTENTREGA": null, "VRPRECO": 0, "IDATIVO": false})"));
  EXPECT_EQ(Print(db, InspectFormat::Csv),
            "NMPRODUTO,DTENTREGA,VRPRECO,IDATIVO\r\n"
            "\"MAÇÃ\t\"\"FUJI\"\"\",2009-01-02,2.5,true\r\n"
            ",,0,false\r\n");
}

TEST(PdbInspect, RecognisesPalmDatabasesOnly) {
  testing::TempFolder dir;
  Sample(dir);
  const std::string bytes = testing::ReadBytes(dir / "PRODUTO.pdb");
  EXPECT_TRUE(IsPdb(bytes));
  EXPECT_FALSE(IsPdb(bytes.substr(0, 77)));
  EXPECT_FALSE(IsPdb(std::string("\x96\x19\xE0\xBD") + std::string(100, '\0')));
  EXPECT_FALSE(IsPdb("<?xml version=\"1.0\" standalone=\"yes\"?>" + std::string(80, ' ')));
}

}  // namespace
}  // namespace kve::pdb
