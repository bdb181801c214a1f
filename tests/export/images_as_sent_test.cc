// An eeePC file is written as the server's image only when loading, deriving and encoding
// the table would give those very bytes.
#include "export/images_as_sent.h"

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "export/export_tables.h"
#include "export/search_codes.h"

namespace kve::exporting {
namespace {

using namespace kve::exporting::testing;

std::string PictPess(std::string_view type) {
  if (type == "F") return "999.999.999-99;0;_";
  if (type == "J") return "99.999.999/9999-99;0;_";
  return "";
}

const DerivationValues kValues{"99.99.999.9999;0;_", PictPess, "POR"};

// The derivation the run applies to a table, none for most.
void Derive(TClientDataSet& ds) {
  TClientDataSet prodCod;
  const std::string_view name = ds.Name();
  if (name == "SOLICOMP") DeriveSoliCompCodes(ds, kValues.productMask);
  if (name == "ITEMAF") DeriveItemAFCodes(ds, kValues.productMask);
  if (name == "PRODUTO") DeriveProductCodes(ds, prodCod, kValues.productMask);
  if (name == "CLIENTE") DeriveClientNumbers(ds, kValues.personMask);
  if (name == "FORNECED") DeriveSupplierNumbers(ds, kValues.personMask);
}

// The file the run writes when it loads the image: loaded, derived, encoded.
std::string FileOfLoaded(const TableSpec& table, const std::string& image) {
  TClientDataSet ds;
  CreateEmpty(ds, table);
  ds.SetData(image);
  Derive(ds);
  return ds.Data();
}

TEST(ImagesAsSent, AreWrittenAsTheyCameExactlyWhenTheRunWouldWriteTheSameBytes) {
  struct Case {
    const char* table;
    bool derived;  // the server sent the derived column as the run derives it
    std::function<void(TClientDataSet&)> rows;
    bool asSent;
  };
  const auto solicomp = [](TClientDataSet& ds) {
    AddRow(ds, {{"NRSOLICMP", "10"}, {"CDARVPROD", "01020030004"}, {"NMPRODUTO", "Feijão"}});
    AddRow(ds, {{"NRSOLICMP", "11"}, {"CDARVPROD", "0102"}});
    AddRow(ds, {{"NRSOLICMP", "12"}, {"CDARVPROD", "01020030004"}});
    AddRow(ds, {{"NRSOLICMP", "13"}});  // no product: the code of an empty tree
  };
  const auto clients = [](TClientDataSet& ds) {
    AddRow(ds, {{"CDCLIENTE", "F0001"}, {"NRINSJURCL", "12345678901"}});
    AddRow(ds, {{"CDCLIENTE", "J0002"}, {"NRINSJURCL", "12345678000195"}});
    AddRow(ds, {{"CDCLIENTE", "E0003"}, {"NRINSJURCL", "AB-99"}});
  };
  const auto stale = [](const char* field) {
    return [field](TClientDataSet& ds) {
      ds.First();
      for (int k = 1; k < ds.RecordCount(); ++k) ds.Next();  // the last row
      ds.Edit();
      ds.FieldByName(field).SetAsString("stale");
      ds.Post();
    };
  };
  const auto cleared = [](const char* field) {
    return [field](TClientDataSet& ds) {
      ds.First();
      ds.Edit();
      ds.FieldByName(field).Clear();
      ds.Post();
    };
  };
  const std::vector<std::pair<Case, std::function<void(TClientDataSet&)>>> cases = {
      {{"SOLICOMP", true, solicomp, true}, {}},
      {{"ITEMAF", true, [](TClientDataSet& ds) { AddRow(ds, {{"CDARVPROD", "0102003"}}); }, true}, {}},
      {{"PRODUTO", true, [](TClientDataSet& ds) {
          for (const char* tree : {"0301", "01", "0102003", "01"}) AddRow(ds, {{"CDPRODUTO", tree}, {"CDARVPROD", tree}});
        }, true}, {}},
      {{"CLIENTE", true, clients, true}, {}},
      {{"FORNECED", true, [](TClientDataSet& ds) { AddRow(ds, {{"CDFORNECED", "J77"}, {"NRINSJURFO", "11222333000181"}}); }, true}, {}},
      {{"SOLICOMP", false, solicomp, false}, {}},                // the server's own codes
      {{"SOLICOMP", true, solicomp, false}, stale("CDPSQPROD")},  // one code the run would change
      {{"SOLICOMP", true, solicomp, false}, cleared("CDPSQPROD")},
      {{"CLIENTE", true, clients, false}, stale("NRMSKCLIE")},
      {{"SERVICO", false, [](TClientDataSet& ds) { AddRow(ds, {{"CDSERVFILI", "1"}, {"NMSERVICO", "Almoço"}}); }, true}, {}},
      {{"OPERADOR", false, [](TClientDataSet& ds) { AddRow(ds, {{"CDOPERADOR", "1"}}); }, false}, {}},  // no file
  };
  for (const auto& [c, change] : cases) {
    SCOPED_TRACE(std::string(c.table) + (change ? " changed" : ""));
    const TableSpec& table = FindTable(c.table);
    TClientDataSet ds;
    Create(ds, c.table);
    c.rows(ds);
    if (!c.derived) {
      // a code the server made otherwise, where the table has one
      for (const char* f : {"CDPSQPROD", "NRMSKCLIE"}) {
        if (ds.FindFieldIndex(f) < 0) continue;
        ds.First();
        ds.Edit();
        ds.FieldByName(f).SetAsString("server");
        ds.Post();
      }
    } else {
      Derive(ds);
    }
    if (change) change(ds);
    ds.MergeChangeLog();
    const std::string image = ds.Data();
    std::vector<std::pair<std::string, int>> codes;
    EXPECT_EQ(WritableAsSent(table, image, kValues, &codes), c.asSent);
    if (c.asSent && std::string_view(c.table) == "PRODUTO") {
      // the product index built of the image's codes is the one loading it gives
      TClientDataSet loaded, fromLoaded, fromImage;
      CreateEmpty(loaded, table);
      loaded.SetData(image);
      DeriveProductCodes(loaded, fromLoaded, kValues.productMask);
      BuildProductCodes(fromImage, codes);
      EXPECT_EQ(fromImage.Data(), fromLoaded.Data());
    }
    if (!table.eeepcFile.empty()) {
      EXPECT_EQ(FileOfLoaded(table, image) == image, c.asSent);
    }
  }
}

TEST(ImagesAsSent, AreTakenFromTheAnswerOrCopiedWhenTheRunReadsTheirTable) {
  std::vector<std::string> images;
  for (const TableSpec* t : SlotOrder()) {
    TClientDataSet ds;
    CreateEmpty(ds, *t);
    images.push_back(ds.Data());
  }
  images[5] = "not a packet";  // PARAM: loaded, so its error is raised there
  RemoteValue answer{images};
  std::vector<std::pair<std::string, int>> codes;
  const std::vector<std::optional<std::string>> sent = TakeImagesAsSent(answer, kValues, codes);
  const auto& left = std::get<std::vector<std::string>>(answer.value);
  for (const TableSpec* t : SlotOrder()) {
    const size_t i = static_cast<size_t>(t->slot);
    SCOPED_TRACE(t->table);
    EXPECT_EQ(sent[i].has_value(), !t->eeepcFile.empty() && i != 5);
    EXPECT_EQ(left[i].empty(), sent[i] && !ReadByEeepcRun(*t));
  }
  RemoteValue text{std::string("server error")};
  const auto none = TakeImagesAsSent(text, kValues, codes);
  EXPECT_EQ(std::count(none.begin(), none.end(), std::nullopt), kSlotCount);
}

}  // namespace
}  // namespace kve::exporting
