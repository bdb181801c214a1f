#include "server/table_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/error.h"

namespace kve::server {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// Rows as a query result might type them: a number, a date text, a date-time, an extra.
TClientDataSet& Rows(TClientDataSet& ds) {
  ds.FieldDefs() = {TypedField("QT", FieldType::Float), StringField("DT", 19),
                    TypedField("WHEN", FieldType::DateTime), StringField("NM", 60),
                    StringField("EXTRA", 3)};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("QT").SetAsFloat(12.5);
  ds.FieldByName("DT").SetAsString("2026-03-06 11:30:00");
  ds.FieldByName("WHEN").SetAsDateTime(TDateTime::FromDate({2026, 3, 6}, {11, 30}));
  ds.FieldByName("NM").SetAsString("Feijão");
  ds.FieldByName("EXTRA").SetAsString("abc");
  ds.Post();
  ds.Append();
  ds.FieldByName("QT").SetAsFloat(0.0001);
  ds.Post();
  return ds;
}

ImageLayout Layout(int nameWidth = 6) {
  return {"T",
          {StringField("QT", 40), TypedField("DT", FieldType::DateTime),
           TypedField("WHEN", FieldType::Date), StringField("NM", nameWidth)}};
}

TEST(TableImage, ConvertsToTheLayoutAndKeepsExtraColumnsAfterIt) {
  TClientDataSet src, out;
  TypeRows(Rows(src), Layout(), "sql/x.sql", out);
  ASSERT_EQ(out.FieldCount(), 5);
  EXPECT_EQ(out.FieldDefs()[1].type, FieldType::DateTime);
  EXPECT_EQ(out.FieldDefs()[4].name, "EXTRA");
  out.First();
  EXPECT_EQ(out.FieldByName("QT").AsString(), "12.5");
  EXPECT_EQ(out.FieldByName("DT").AsString(), "06/03/2026 11:30:00");
  EXPECT_EQ(out.FieldByName("WHEN").AsString(), "06/03/2026");  // time of day dropped
  EXPECT_EQ(out.FieldByName("NM").AsString(), "Feijão");         // 6 characters, 7 bytes
  out.Next();
  EXPECT_EQ(out.FieldByName("QT").AsString(), "0.0001");         // never an exponent
  EXPECT_TRUE(out.FieldByName("DT").IsNull());
}

TEST(TableImage, NamesTheFileTableRowAndColumnOfWhatDoesNotFit) {
  TClientDataSet src, out;
  Rows(src);
  EXPECT_THAT([&] { TypeRows(src, Layout(5), "sql/x.sql", out); },
              ThrowsMessage<Error>("sql/x.sql: T row 1: NM: text of 6 characters exceeds 5"));
  ImageLayout missing = Layout();
  missing.fields.push_back(StringField("CDPSQPROD", 20));
  EXPECT_THAT([&] { TypeRows(src, missing, "sql/x.sql", out); },
              ThrowsMessage<Error>("sql/x.sql: T: column CDPSQPROD is not selected"));
  src.First();
  src.Edit();
  src.FieldByName("DT").SetAsString("06/03/2026");
  src.Post();
  EXPECT_THAT([&] { TypeRows(src, Layout(), "sql/x.sql", out); },
              ThrowsMessage<Error>(HasSubstr("T row 1: DT: \"06/03/2026\" is not a date")));
}

}  // namespace
}  // namespace kve::server
