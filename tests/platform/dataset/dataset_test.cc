#include "platform/dataset/dataset.h"

#include <gtest/gtest.h>

#include "platform/common/error.h"

namespace kve {
namespace {

void MakeProducts(TClientDataSet& ds) {
  ds.SetName("PRODUTO");
  ds.FieldDefs() = {StringField("CDPSQPROD", 20), TypedField("PRODUTONRO", FieldType::Int32),
                    TypedField("DTPROGENTR", FieldType::DateTime)};
  ds.CreateDataSet();
}

void Add(TClientDataSet& ds, std::string_view code, int n) {
  ds.Append();
  ds.FieldByName("CDPSQPROD").SetAsString(code);
  ds.FieldByName("PRODUTONRO").SetAsInteger(n);
  ds.Post();
}

std::vector<std::string> Walk(TClientDataSet& ds, const char* field) {
  std::vector<std::string> out;
  for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName(field).AsString());
  return out;
}

TEST(DataSet, WalksRowsInArrivalOrderAndCountsThem) {
  TClientDataSet ds;
  MakeProducts(ds);
  EXPECT_TRUE(ds.Eof());
  Add(ds, "30.1", 0);
  Add(ds, "10.2", 1);
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(Walk(ds, "CDPSQPROD"), (std::vector<std::string>{"30.1", "10.2"}));
  EXPECT_EQ(ds.ChangeCount(), 2);
  ds.MergeChangeLog();
  EXPECT_EQ(ds.ChangeCount(), 0);
}

TEST(DataSet, IndexSortsAscendingAndKeepsEqualKeysInArrivalOrder) {
  TClientDataSet ds;
  MakeProducts(ds);
  ds.SetIndexFieldNames("CDPSQPROD");
  Add(ds, "30.1", 0);
  Add(ds, "10.2", 1);
  Add(ds, "20.3", 2);
  Add(ds, "10.2", 3);
  EXPECT_EQ(Walk(ds, "PRODUTONRO"), (std::vector<std::string>{"1", "3", "2", "0"}));
}

TEST(DataSet, FilterNarrowsRowsAndCount) {
  TClientDataSet ds;
  MakeProducts(ds);
  Add(ds, "0002", 0);
  Add(ds, "0003", 1);
  Add(ds, "0002", 2);
  ds.SetFilter("CDPSQPROD =0002");
  ds.SetFiltered(true);
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(Walk(ds, "PRODUTONRO"), (std::vector<std::string>{"0", "2"}));
  ds.SetFiltered(false);
  EXPECT_EQ(ds.RecordCount(), 3);
}

TEST(DataSet, LocateMatchesWholeValueCaseSensitively) {
  TClientDataSet ds;
  MakeProducts(ds);
  Add(ds, "ab", 0);
  Add(ds, "AB", 1);
  EXPECT_TRUE(ds.Locate("CDPSQPROD", "AB"));
  EXPECT_EQ(ds.FieldByName("PRODUTONRO").AsInteger(), 1);
  EXPECT_FALSE(ds.Locate("CDPSQPROD", "A"));
}

TEST(DataSet, EditChangesOneRowAndMarksItModified) {
  TClientDataSet ds;
  MakeProducts(ds);
  Add(ds, "a", 0);
  ds.MergeChangeLog();
  ds.First();
  ds.Edit();
  ds.FieldByName("CDPSQPROD").SetAsString("ção");
  ds.Post();
  EXPECT_EQ(ds.FieldByName("CDPSQPROD").AsString(), "ção");
  EXPECT_EQ(ds.Status(0), RowStatus::Modified);
}

TEST(DataSet, RefusesTextLongerThanItsFieldNamingTableFieldAndValue) {
  TClientDataSet ds;
  MakeProducts(ds);
  ds.Append();
  // 20 accented characters fit, although they take 40 bytes
  EXPECT_NO_THROW(ds.FieldByName("CDPSQPROD").SetAsString("çççççççççççççççççççç"));
  try {
    ds.FieldByName("CDPSQPROD").SetAsString("123456789012345678901");
    FAIL() << "no error";
  } catch (const ValueError& e) {
    EXPECT_NE(std::string(e.what()).find("PRODUTO"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("CDPSQPROD"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("123456789012345678901"), std::string::npos);
  }
}

TEST(DataSet, NullsReadAsZeroValuesAndDatesKeepTheirTime) {
  TClientDataSet ds;
  MakeProducts(ds);
  ds.Append();
  ds.FieldByName("DTPROGENTR").SetAsString("25/12/2008 14:30:05");
  ds.Post();
  EXPECT_TRUE(ds.FieldByName("PRODUTONRO").IsNull());
  EXPECT_EQ(ds.FieldByName("PRODUTONRO").AsInteger(), 0);
  EXPECT_EQ(ds.FieldByName("DTPROGENTR").AsString(), "25/12/2008 14:30:05");
  EXPECT_EQ(ds.FieldByName("DTPROGENTR").AsDateTime().date(), (CivilDate{2008, 12, 25}));
  EXPECT_THROW(ds.FieldByName("NOPE"), Error);
}

// A typed value padded with blanks reads alike in every field type, and a text field holding
// one reads as the same integer; blanks inside a value are not trimmed away.
TEST(DataSet, PaddedTextsParseAlikeAsIntegerNumberAndDate) {
  struct Case {
    const char* text;
    FieldType type;
    const char* shown;  // AsString after SetAsString; nullptr: refused
  } cases[] = {
      {" \t7", FieldType::Int32, "7"},         {"7 \t\r\n", FieldType::Int32, "7"},
      {" \t7", FieldType::Float, "7"},         {"\t2,5 ", FieldType::Float, "2.5"},
      {" \t25/12/2008", FieldType::Date, "25/12/2008"},
      {"\t25/12/2008 14:30:05\r\n", FieldType::DateTime, "25/12/2008 14:30:05"},
      {" \t", FieldType::Int32, ""},           {"7 7", FieldType::Int32, nullptr},
      {"2. 5", FieldType::Float, nullptr},     {"25/12/ 2008", FieldType::Date, nullptr},
  };
  for (const Case& c : cases) {
    TClientDataSet ds;
    ds.FieldDefs() = {TypedField("V", c.type), StringField("S", 20)};
    ds.CreateDataSet();
    ds.Append();
    if (c.shown == nullptr) {
      EXPECT_THROW(ds.FieldByName("V").SetAsString(c.text), ValueError) << c.text;
      continue;
    }
    ds.FieldByName("V").SetAsString(c.text);
    EXPECT_EQ(ds.FieldByName("V").AsString(), c.shown) << c.text;
    if (c.type == FieldType::Int32 && *c.shown) {
      ds.FieldByName("S").SetAsString(c.text);
      EXPECT_EQ(ds.FieldByName("S").AsLargeInt(), 7) << c.text;
    }
  }
}

TEST(DataSet, EditingEveryRowWhileWalkingVisitsEachRowOnce) {
  TClientDataSet ds;
  MakeProducts(ds);
  for (int i = 0; i < 5; ++i) Add(ds, "a", i);
  ds.SetFilter("CDPSQPROD = a");
  ds.SetFiltered(true);
  int visited = 0;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    ds.Edit();
    ds.FieldByName("PRODUTONRO").SetAsInteger(ds.FieldByName("PRODUTONRO").AsInteger() + 10);
    ds.Post();
    ++visited;
  }
  EXPECT_EQ(visited, 5);
  EXPECT_EQ(Walk(ds, "PRODUTONRO"), (std::vector<std::string>{"10", "11", "12", "13", "14"}));
}

TEST(DataSet, EditOfTheIndexedFieldMovesTheRowAndAppendJoinsAFilteredView) {
  TClientDataSet ds;
  MakeProducts(ds);
  ds.SetIndexFieldNames("CDPSQPROD");
  Add(ds, "b", 0);
  Add(ds, "c", 1);
  ASSERT_TRUE(ds.Locate("CDPSQPROD", "c"));
  ds.Edit();
  ds.FieldByName("CDPSQPROD").SetAsString("a");
  ds.Post();
  EXPECT_EQ(Walk(ds, "PRODUTONRO"), (std::vector<std::string>{"1", "0"}));

  ds.SetIndexFieldNames("");
  ds.SetFilter("CDPSQPROD = b");
  ds.SetFiltered(true);
  EXPECT_EQ(ds.RecordCount(), 1);
  Add(ds, "b", 2);
  Add(ds, "z", 3);
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(Walk(ds, "PRODUTONRO"), (std::vector<std::string>{"0", "2"}));
}

TEST(DataSet, StoredTextSetInPlaceKeepsTheOtherFieldsAndReordersTheIndex) {
  TClientDataSet ds;
  MakeProducts(ds);
  ds.SetIndexFieldNames("CDPSQPROD");
  Add(ds, "a-much-longer-code", 0);
  Add(ds, "b", 1);
  ds.Append();  // a row whose code is null
  ds.FieldByName("PRODUTONRO").SetAsInteger(2);
  ds.Post();
  // shorter than the old text, longer than it, and where there was none
  const std::vector<std::string> codes = {"z", "bb-grows-past-its-old-length", "m"};
  for (int r = 0; r < 3; ++r) ds.SetStoredText(r, 0, codes[static_cast<size_t>(r)]);
  EXPECT_EQ(ds.ChangeCount(), 0);
  EXPECT_EQ(Walk(ds, "PRODUTONRO"), (std::vector<std::string>{"1", "2", "0"}));
  EXPECT_EQ(Walk(ds, "CDPSQPROD"), (std::vector<std::string>{"bb-grows-past-its-old-length", "m", "z"}));
}

// Every edit and every lengthened text leaves its old block behind: the table must give back
// the memory they leave in time, and no row may be left pointing at the old place.
TEST(DataSet, RowsRewrittenOverAndOverKeepTheirValuesInBoundedMemory) {
  TClientDataSet ds;
  MakeProducts(ds);
  constexpr int kRows = 2000;
  for (int r = 0; r < kRows; ++r) Add(ds, "p" + std::to_string(r), r);
  ds.MergeChangeLog();
  for (int pass = 1; pass <= 30; ++pass) {
    for (int r = 0; r < kRows; ++r)
      ds.SetStoredText(r, 0, "p" + std::to_string(r) + std::string(static_cast<size_t>(pass % 12), 'x'));
    for (ds.First(); !ds.Eof(); ds.Next()) {
      ds.Edit();
      ds.FieldByName("PRODUTONRO").SetAsInteger(ds.FieldByName("PRODUTONRO").AsInteger() + 1);
      ds.Post();
    }
  }
  int r = 0;
  for (ds.First(); !ds.Eof(); ds.Next(), ++r) {
    ASSERT_EQ(ds.FieldByName("CDPSQPROD").AsString(), "p" + std::to_string(r) + std::string(30 % 12, 'x'));
    ASSERT_EQ(ds.FieldByName("PRODUTONRO").AsInteger(), r + 30);
  }
  EXPECT_EQ(r, kRows);
  TClientDataSet copy;
  copy.SetData(ds.Data());
  EXPECT_LE(ds.RowBytesHeld(), 2 * copy.RowBytesHeld() + (64 << 10));
}

TEST(DateTime, DayNumbersMatchThePacketScale) {
  EXPECT_EQ(DayNumber({1, 1, 1}), 1);
  EXPECT_EQ(DayNumber({1899, 12, 30}), kDayNumberOf1899_12_30);
  EXPECT_EQ(DateOfDay(DayNumber({2024, 2, 29})), (CivilDate{2024, 2, 29}));
  EXPECT_FALSE(ParseDate("31/02/2024"));
  EXPECT_FALSE(ParseDate("1/2/2024"));
}

}  // namespace
}  // namespace kve
