#include "platform/pdb/pdb_inspect.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/pdb/pdb_format.h"
#include "platform/pdb/pdb_test_util.h"

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

TEST(PdbInspect, TextShowsHeaderFieldsAndOneLinePerRecord) {
  testing::TempFolder dir;
  std::ostringstream out;
  PrintPdb(Sample(dir), out);
  const std::string s = out.str();
  EXPECT_THAT(s, HasSubstr("name      PRODUTO\n"));
  EXPECT_THAT(s, HasSubstr("creator   RKVE\n"));
  EXPECT_THAT(s, HasSubstr("created   2008-12-25 14:30:05\n"));
  EXPECT_THAT(s, HasSubstr("records   2\n"));
  EXPECT_THAT(s, HasSubstr("DTENTREGA            PSDate"));
  EXPECT_THAT(s, HasSubstr("NMPRODUTO\tDTENTREGA\tVRPRECO\tIDATIVO\n"
                           "MAÇÃ\\t\"FUJI\"\t02/01/2009\t2.5\tTrue\n"
                           "\t\t0\tFalse\n"));
}

TEST(PdbInspect, JsonCarriesTypedValues) {
  testing::TempFolder dir;
  std::ostringstream out;
  PrintPdb(Sample(dir), out, InspectOptions{.json = true, .maxRecords = -1});
  const auto j = nlohmann::json::parse(out.str());
  EXPECT_EQ(j["header"]["name"], "PRODUTO");
  EXPECT_EQ(j["header"]["type"], "DBCS");
  EXPECT_EQ(j["header"]["records"], 2);
  EXPECT_EQ(j["fields"][1]["type"], "PSDate");
  EXPECT_EQ(j["records"][0],
            nlohmann::json::parse(R"(["MAÇÃ\t\"FUJI\"", "2009-01-02", 2.5, true])"));
  EXPECT_EQ(j["records"][1], nlohmann::json::parse(R"(["", null, 0, false])"));
}

}  // namespace
}  // namespace kve::pdb
