#include "palm/prevreti.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "palm/pdb_conversion.h"
#include "palm/progress_recorder.h"
#include "platform/common/error.h"
#include "platform/pdb/pdb_reader.h"
#include "support/temp_folder.h"

namespace kve::palm {
namespace {

using ::testing::ElementsAre;
using T = TPDBPSFieldType;

constexpr NumberSeparators kComma{',', '.'};
constexpr NumberSeparators kPoint{'.', ','};

TEST(FloatNum, NormalisesQuantitiesUnderBothLocales) {
  struct Case {
    const char* in;
    const char* comma;  // decimal ",", thousands "."
    const char* point;  // decimal ".", thousands ","
  };
  const Case cases[] = {
      {"12,5", "12.50000", "12.50000"},
      {"12.5", "12.50000", "12.50000"},
      {",25", "0.25000", "0.25000"},
      {"7", "7,00000", "7.00000"},           // without separator: the locale's own
      {"0,123456", "0.123456", "0.123456"},  // decimals are never cut
      {"12,50000", "12.50000", "12.50000"},
      {"1.234,5", "1.234.5", "1.234.5"},  // no thousand separator is removed
      {"-3,5", "-3,5", "-3,5"},           // a sign is not accepted: unchanged
      {" 7", " 7", " 7"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FloatNum(c.in, 5, kComma), c.comma) << '"' << c.in << '"';
    EXPECT_EQ(FloatNum(c.in, 5, kPoint), c.point) << '"' << c.in << '"';
  }
  // a separator the locale does not use makes the text unrecognised
  EXPECT_EQ(FloatNum("1 234,5", 5, NumberSeparators{',', ' '}), "1 234.50000");
  EXPECT_EQ(FloatNum("1'234.5", 5, kPoint), "1'234.5");
}

TEST(DateRule, ReadsOnlyTheEightDigitDayMonthYearForm) {
  EXPECT_EQ(DateFromRuleText("25122008"), TDateTime::FromDate({2008, 12, 25}));
  EXPECT_EQ(DateFromRuleText("29022008 14:30:00"), TDateTime::FromDate({2008, 2, 29}));
  EXPECT_EQ(DateFromRuleText("25/12/2008"), std::nullopt);
  EXPECT_EQ(DateFromRuleText(""), std::nullopt);
  EXPECT_EQ(DateFromRuleText("29022009"), std::nullopt);  // no such day
  EXPECT_EQ(DateFromRuleText("2512200"), std::nullopt);   // year 200: no Palm date
  EXPECT_EQ(DateFromRuleText("25122040"), std::nullopt);  // beyond the Palm's 2031
}

class PrevReti : public ::testing::Test {
 protected:
  static constexpr const char* kProductMask = "99.99.999.9999;0;_";

  // The forecast's 14 columns; `dateType` lets a test hold the date as text.
  void Define(FieldType dateType = FieldType::DateTime) {
    cds.SetName("PREVRETI");
    cds.FieldDefs() = {StringField("CDFILIAL", 4),         StringField("CDSERVFILI", 5),
                       TypedField("DTPREVRETI", dateType), StringField("CDPRODUTO", 10),
                       StringField("CDARVPROD", 20),       StringField("CDPSQPROD", 20),
                       StringField("NMPRODUTO", 50),       StringField("SGUNIDADE", 10),
                       StringField("QTPREVRETI", 40),      StringField("QTCONSRETI", 40),
                       StringField("CDTIPORETI", 2),       StringField("NMTIPORETI", 40),
                       StringField("CDOPERADOR", 12),      StringField("FILSERPRDT", 29)};
    if (dateType == FieldType::String) cds.FieldDefs()[2].size = 20;
    cds.CreateDataSet();
  }
  void Add(std::string_view arv, std::string_view qt, std::optional<TDateTime> date,
           std::string_view dateText = {}) {
    cds.Append();
    cds.FieldByName("CDFILIAL").SetAsString("0001");
    cds.FieldByName("CDSERVFILI").SetAsString("00002");
    if (date) cds.FieldByName("DTPREVRETI").SetAsDateTime(*date);
    if (!dateText.empty()) cds.FieldByName("DTPREVRETI").SetAsString(dateText);
    cds.FieldByName("CDPRODUTO").SetAsString("100200");
    cds.FieldByName("CDARVPROD").SetAsString(arv);
    cds.FieldByName("CDPSQPROD").SetAsString("from the server");
    cds.FieldByName("NMPRODUTO").SetAsString("MAÇÃ FUJI");
    cds.FieldByName("SGUNIDADE").SetAsString("KG");
    cds.FieldByName("QTPREVRETI").SetAsString(qt);
    cds.FieldByName("QTCONSRETI").SetAsString("7");
    cds.FieldByName("CDTIPORETI").SetAsString("01");
    cds.FieldByName("NMTIPORETI").SetAsString("RETIRADA PARA PRODUÇÃO");
    cds.FieldByName("CDOPERADOR").SetAsString("SOMEONE");
    cds.FieldByName("FILSERPRDT").SetAsString("000100002100200");
    cds.Post();
  }
  pdb::PdbFile Write() {
    PrevRetiOptions options;
    options.maskProduct = ProductMaskFormatter(kProductMask);
    options.operatorCode = "42";
    options.separators = kComma;
    ConfigureWriter(pdm);
    CriaPDBPrevReti(cds, dir.path(), options, pdm, progress);
    return pdb::PdbFile::Load(dir / "PREVRETI.pdb");
  }
  std::string Text(const pdb::PdbFile& db, int r, const char* field) {
    return db.Record(r)[static_cast<size_t>(db.FieldIndex(field))].Text();
  }

  testing::TempFolder dir;
  TClientDataSet cds;
  TPDBPocketStudio pdm;
  ProgressRecorder progress;
};

TEST_F(PrevReti, WritesTheFourteenFieldsWithMaskOperatorQuantitiesAndDate) {
  Define();
  Add("01020030004", "12,5", TDateTime::FromDate({2008, 12, 25}, {14, 30}));
  Add("02030040005", ",25", std::nullopt);
  const auto db = Write();

  EXPECT_EQ(db.Header().name, "PREVRETI");
  ASSERT_EQ(db.Fields().size(), 14u);
  for (const auto& f : db.Fields())
    EXPECT_EQ(f.type, f.name == "DTPREVRETI" ? T::PSDate : T::PSString) << f.name;
  ASSERT_EQ(db.RecordCount(), 2);
  EXPECT_EQ(Text(db, 0, "CDPSQPROD"), "01.02.003.0004");
  EXPECT_EQ(Text(db, 1, "CDPSQPROD"), "02.03.004.0005");
  EXPECT_EQ(Text(db, 0, "CDOPERADOR"), "42");
  EXPECT_EQ(Text(db, 1, "CDOPERADOR"), "42");
  EXPECT_EQ(Text(db, 0, "QTPREVRETI"), "12.50000");
  EXPECT_EQ(Text(db, 1, "QTPREVRETI"), "0.25000");
  EXPECT_EQ(Text(db, 0, "QTCONSRETI"), "7,00000");
  EXPECT_EQ(Text(db, 0, "DTPREVRETI"), "25/12/2008");  // the time of day does not lose it
  EXPECT_EQ(db.Record(1)[2].integer, 0);               // a null date stays "no date"
  EXPECT_EQ(Text(db, 0, "NMTIPORETI"), "RETIRADA PARA PRODUÇÃO");
  EXPECT_EQ(Text(db, 1, "FILSERPRDT"), "000100002100200");

  EXPECT_FALSE(cds.Active());
  EXPECT_EQ(pdm.Fields().Count(), 0);
  EXPECT_THAT(progress.events, ElementsAre("start 2", "step 2", "finish"));
}

TEST_F(PrevReti, RowsStreamedOneByOneGiveTheTablesRecords) {
  Define();
  Add("01020030004", "12,5", TDateTime::FromDate({2008, 12, 25}, {14, 30}));
  Add("02030040005", ",25", std::nullopt);
  Add("03", "1.234,5", TDateTime::FromDate({2031, 12, 31}));
  testing::TempFolder other;
  PrevRetiOptions options;
  options.maskProduct = ProductMaskFormatter(kProductMask);
  options.operatorCode = "42";
  options.separators = kComma;
  {
    PrevRetiStream stream(cds.FieldDefs(), other.path(), options);  // no count: records move
    for (cds.First(); !cds.Eof(); cds.Next()) stream.Add(cds.CurrentRowView());
    stream.Finish();
    cds.First();
    EXPECT_THROW(stream.Add(cds.CurrentRowView()), Error);
  }
  {
    PrevRetiStream dropped(cds.FieldDefs(), dir.path(), options, 3);
    dropped.Add(cds.CurrentRowView());
  }  // never finished: nothing written
  EXPECT_FALSE(std::filesystem::exists(dir / "PREVRETI.pdb"));
  const auto streamed = pdb::PdbFile::Load(other / "PREVRETI.pdb");
  const auto table = Write();
  ASSERT_EQ(streamed.RecordCount(), 3);
  ASSERT_EQ(table.RecordCount(), 3);
  EXPECT_EQ(streamed.Fields().size(), table.Fields().size());
  for (int r = 0; r < 3; ++r) EXPECT_EQ(streamed.RecordBytes(r), table.RecordBytes(r)) << r;
}

TEST_F(PrevReti, DateHeldAsTextIsCutByTheRule) {
  Define(FieldType::String);
  Add("01", "1", std::nullopt, "25122008");
  Add("01", "1", std::nullopt, "25/12/2008");
  const auto db = Write();
  EXPECT_EQ(db.Fields()[2].type, T::PSDate);  // by its name, whatever the column's type
  EXPECT_EQ(Text(db, 0, "DTPREVRETI"), "25/12/2008");
  EXPECT_EQ(db.Record(1)[2].integer, 0);
}

TEST_F(PrevReti, EmptyForecastGivesTheFieldsAndNoRecords) {
  Define();
  const auto db = Write();
  EXPECT_EQ(db.Fields().size(), 14u);
  EXPECT_EQ(db.RecordCount(), 0);
  EXPECT_THAT(progress.events, ElementsAre("start 0", "finish"));
}

TEST_F(PrevReti, MissingColumnFailsAndKeepsTheEarlierDatabase) {
  cds.FieldDefs() = {StringField("CDFILIAL", 4)};
  cds.CreateDataSet();
  testing::WriteBytes(dir / "PREVRETI.pdb", "earlier");
  EXPECT_THROW(Write(), Error);
  EXPECT_EQ(testing::ReadBytes(dir / "PREVRETI.pdb"), "earlier");
  EXPECT_EQ(pdm.Fields().Count(), 0);
  EXPECT_FALSE(pdm.Active());
}

}  // namespace
}  // namespace kve::palm
