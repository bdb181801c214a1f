#include "server/table_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "demo/demo_data.h"
#include "support/demo_query.h"
#include "platform/common/error.h"
#include "server/server_fixture.h"
#include "server/sql_files.h"
#include "server/sql_params.h"

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

namespace kve::server {
namespace {

// Both ways of making an image from a statement: straight from its rows, and through the
// engine's dataset and TypeRows. They must give the same bytes, or fail with the same text.
// The straight way writes into `reuse`, as the server does, left over from the images before.
std::string Straight(Database& db, const SqlValues::Prepared& p, const ImageLayout& layout,
                     PacketBuffer& reuse) {
  try {
    ImageWriter w(layout, &reuse);
    db.RunRows(p.sql, p.params, w);
    return std::string(w.Image(""));
  } catch (const Error& e) {
    return std::string("error: ") + e.what();  // the caller adds the file
  }
}
std::string Through(Database& db, const SqlValues::Prepared& p, const ImageLayout& layout) {
  try {
    TClientDataSet rows(layout.table);
    db.Run(p.sql, p.params, &rows);
    return BuildImage(rows, layout, "");
  } catch (const Error& e) {
    std::string what = e.what();
    return "error: " + (what.starts_with(": ") ? what.substr(2) : what);
  }
}

class ImageFromRows : public ::testing::TestWithParam<std::string> {};

TEST_P(ImageFromRows, IsTheImageTheDatasetWouldMake) {
  testing_server::ServerDb data(GetParam());
  if (data.Skip()) GTEST_SKIP() << "KVE_TEST_PG_URL not set";
  auto db = data.Open();
  demo::DemoOptions o;
  o.today = TDateTime::FromDate({2026, 12, 7});
  demo::FillDemoDatabase(*db, o);
  SqlFiles sql = SqlFiles::BuiltIn();
  SqlValues v = testing::DemoCentralValues(*db, sql);
  int rows = 0;
  PacketBuffer memory;
  for (int slot = 0; slot < kTableSlots; ++slot) {
    std::string file = (slot < 10 ? "0" : "") + std::to_string(slot) + "_" + SlotLayout(slot).table;
    auto p = v.Prepare(sql.Text(file, db->Dialect()), file);
    std::string straight = Straight(*db, p, SlotLayout(slot), memory);
    EXPECT_EQ(straight, Through(*db, p, SlotLayout(slot))) << file;
    rows += straight.size() > 1000;
  }
  EXPECT_GT(rows, 10);  // the demo fills most tables

  // Values each way of typing meets, and each way of failing, a column at a time.
  ImageLayout layout{"T", {StringField("S", 8), TypedField("D", FieldType::Date),
                           TypedField("F", FieldType::Float), TypedField("I", FieldType::Int16)}};
  const char* from = GetParam() == "sqlite" ? "" : " FROM (SELECT 1) x";
  for (std::string select : {
           "12.5 AS S, '2026-03-06 11:30:00' AS D, '7' AS F, 3 AS I",
           "CAST(7 AS INTEGER) AS S, CAST('2026-03-06' AS DATE) AS D, 2 AS F, CAST(4.0 AS REAL) AS I",
           "'Feijão' AS S, NULL AS D, NULL AS F, NULL AS I, 'x' AS EXTRA",
           "'Feijão!!!' AS S, NULL AS D, 1 AS F, 1 AS I",        // too long for its field
           "'a' AS S, '06/03/2026' AS D, 1 AS F, 1 AS I",        // not a date
           "'a' AS S, NULL AS D, 'x' AS F, 1 AS I",              // not a number
           "'a' AS S, NULL AS D, 1 AS F, 40000 AS I",            // out of range
           "'a' AS S, NULL AS D, 1 AS F, 1.5 AS I",              // not an integer
           "'€ ok' AS S, NULL AS D, 1 AS F, 1 AS I",
           "'ā' AS S, NULL AS D, 1 AS F, 1 AS I",                // not in the code page
           "'a' AS S, NULL AS D, 1 AS F",                        // I is not selected
       }) {
    SqlValues none;
    auto p = none.Prepare("SELECT " + select + from, "x.sql");
    EXPECT_EQ(Straight(*db, p, layout, memory), Through(*db, p, layout)) << select;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, ImageFromRows, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace kve::server
