// A binary packet is written two ways: a whole table at once (files, the client's packets) and
// row by row as a database statement hands its values over (the server's table images). The
// eeePC and every reader take either, so both must give the same bytes and refuse the same
// values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/common/error.h"
#include "platform/dataset/binary_packet.h"
#include "platform/dataset/dataset.h"
#include "packet_samples.h"

namespace kve {
namespace {

// The table's rows fed to a builder as a statement would feed them: dates as milliseconds,
// booleans as 0 or 1, texts as UTF-8.
std::string RowByRow(TClientDataSet& ds, PacketBuffer* reuse = nullptr) {
  BinaryPacketBuilder b(ds.Name(), ds.FieldDefs(), reuse);
  std::vector<std::string> texts(ds.FieldCount());
  for (ds.First(); !ds.Eof(); ds.Next()) {
    for (int i = 0; i < ds.FieldCount(); ++i) {
      TField f = ds.Fields(i);
      if (f.IsNull()) {
        if (i % 2) b.SetNull(i);  // a null set and a field never set are the same
        continue;
      }
      switch (f.DataType()) {
        case FieldType::String: b.SetStr(i, texts[i] = f.AsString()); break;
        case FieldType::Float: b.SetFloat(i, f.AsFloat()); break;
        case FieldType::Boolean: b.SetInt(i, f.AsBoolean() ? 1 : 0); break;
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::DateTime: b.SetInt(i, f.AsDateTime().ms()); break;
        default: b.SetInt(i, f.AsLargeInt()); break;
      }
    }
    b.EndRow();
  }
  return std::string(b.Finish());
}

void Numbered(TClientDataSet& ds, int rows) {
  ds.SetName("NUMEROS");
  ds.FieldDefs() = {StringField("CDPRODUTO", 10), TypedField("QTITEM", FieldType::Int32),
                    StringField("NMPRODUTO", 60)};
  ds.CreateDataSet();
  for (int r = 0; r < rows; ++r) {
    ds.Append();
    ds.FieldByName("CDPRODUTO").SetAsString(std::to_string(r));
    ds.FieldByName("QTITEM").SetAsInteger(r * 7);
    if (r % 3) ds.FieldByName("NMPRODUTO").SetAsString("AÇÚCAR " + std::to_string(r));
    ds.Post();
  }
  ds.MergeChangeLog();  // a statement's rows carry no change log
}

TEST(BinaryEncoders, WholeTableAndRowByRowGiveTheSameBytes) {
  TClientDataSet every;
  testing::MakeEveryType(every);
  EXPECT_EQ(every.Data(), RowByRow(every));

  TClientDataSet empty, many, few;
  Numbered(empty, 0);
  Numbered(many, 20000);
  Numbered(few, 3);
  EXPECT_EQ(empty.Data(), RowByRow(empty));
  // One buffer for a large packet and then a small one, as the server reuses it across a
  // call's images: nothing of the first may show through in the second.
  PacketBuffer reuse;
  EXPECT_EQ(many.Data(), RowByRow(many, &reuse));
  EXPECT_EQ(few.Data(), RowByRow(few, &reuse));
}

TEST(BinaryEncoders, RefuseTheSameValueNamingTableAndField) {
  TClientDataSet ds;
  Numbered(ds, 2);
  ds.Append();
  ds.FieldByName("NMPRODUTO").SetAsString("SEM ✓ NO CÓDIGO");  // outside Windows-1252
  ds.Post();

  std::string whole, rowByRow;
  try {
    (void)ds.Data();
  } catch (const ValueError& e) {
    whole = e.what();
  }
  try {
    (void)RowByRow(ds);
  } catch (const ValueError& e) {
    rowByRow = e.what();
  }
  for (const std::string& what : {whole, rowByRow}) {
    EXPECT_NE(what.find("NUMEROS"), std::string::npos) << what;
    EXPECT_NE(what.find("NMPRODUTO"), std::string::npos) << what;
  }
}

}  // namespace
}  // namespace kve
