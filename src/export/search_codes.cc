#include "export/search_codes.h"

#include <algorithm>
#include <map>

#include "catalogue/catalogue.h"
#include "export/column_rewrite.h"
#include "platform/common/error.h"
#include "platform/ui/mask.h"

namespace kve::exporting {
namespace {

void DeriveSearchCodes(TClientDataSet& ds, std::string_view productMask,
                       std::initializer_list<std::string_view> keys,
                       const std::function<void(std::string_view code, int position)>& each = {}) {
  const EditMask mask(productMask);
  const int tree = ds.FieldByName("CDARVPROD").Index();
  RewriteTextColumn(ds, "CDPSQPROD", keys, [&](RowView row, int position) {
    std::string code = mask.Format(TextOf(row, tree), " ");
    if (each) each(code, position);
    return code;
  });
}

void DeriveRegistrationNumbers(TClientDataSet& ds, std::string_view codeColumn,
                               std::string_view numberColumn, std::string_view maskedColumn,
                               const PersonMaskFn& personMask) {
  const int code = ds.FieldByName(codeColumn).Index();
  const int number = ds.FieldByName(numberColumn).Index();
  std::map<std::string, EditMask, std::less<>> masks;  // by person type, asked once each
  RewriteTextColumn(ds, maskedColumn, {codeColumn}, [&](RowView row, int) {
    const std::string_view c = TextOf(row, code);
    const std::string_view type = c.empty() ? c : SplitChars(c.substr(0, 4)).front();
    auto it = masks.find(type);
    if (it == masks.end()) it = masks.emplace(std::string(type), EditMask(personMask(type))).first;
    return it->second.Format(TextOf(row, number), " ");
  });
}

}  // namespace

void DeriveSoliCompCodes(TClientDataSet& soliComp, std::string_view productMask) {
  DeriveSearchCodes(soliComp, productMask, {"NRSOLICMP", "CDPRODUTO"});
}

void DeriveProductCodes(TClientDataSet& produto, TClientDataSet& prodCod,
                        std::string_view productMask) {
  // The index rows are collected while the codes are set and added only once every code
  // fits, so a failure leaves both tables as they were.
  std::vector<std::pair<std::string, int>> index;
  index.reserve(static_cast<size_t>(produto.StoredRowCount()));
  DeriveSearchCodes(produto, productMask, {"CDPRODUTO"}, [&](std::string_view code, int position) {
    index.emplace_back(std::string(code), position);
  });

  // Ascending codes, equal codes in product order: the order of an index on CDPSQPROD. The
  // rows are added in that order so the table's stored order is its index order.
  std::sort(index.begin(), index.end());

  CreateEmpty(prodCod, FindTable("cdsProdCod"));
  prodCod.SetIndexFieldNames("CDPSQPROD");
  const int codeCol = prodCod.FieldByName("CDPSQPROD").Index();
  const int posCol = prodCod.FieldByName("PRODUTONRO").Index();
  RowBuilder b(prodCod.FieldCount());
  for (const auto& [code, position] : index) {
    b.SetStr(codeCol, code);
    b.SetInt(posCol, position);
    prodCod.AppendRow(b, RowStatus::Unchanged);
  }
}

void BuildProductIndex(const TClientDataSet& prodCod, TClientDataSet& produtoCod) {
  CreateEmpty(produtoCod, FindTable("cdsProdutoCod"));
  produtoCod.SetIndexFieldNames("CDPSQPROD");
  const std::vector<FieldDef>& defs = prodCod.FieldDefs();
  if (defs != produtoCod.FieldDefs())
    throw Error(prodCod.Name() + ": fields differ from " + produtoCod.Name() + "'s");
  RowBuilder b(static_cast<int>(defs.size()));
  // cdsProdCod's storage order is its index order: ascending codes, equal codes in product order.
  for (int r : prodCod.StorageOrder()) {
    b.LoadFrom(prodCod.Row(r), defs);
    produtoCod.AppendRow(b, RowStatus::Unchanged);
  }
}

void DeriveItemAFCodes(TClientDataSet& itemAF, std::string_view productMask) {
  DeriveSearchCodes(itemAF, productMask, {"NRAUTOFORN", "CDPRODUTO"});
}

void DeriveClientNumbers(TClientDataSet& cliente, const PersonMaskFn& personMask) {
  DeriveRegistrationNumbers(cliente, "CDCLIENTE", "NRINSJURCL", "NRMSKCLIE", personMask);
}

void DeriveSupplierNumbers(TClientDataSet& forneced, const PersonMaskFn& personMask) {
  DeriveRegistrationNumbers(forneced, "CDFORNECED", "NRINSJURFO", "NRMSKFORN", personMask);
}

}  // namespace kve::exporting
