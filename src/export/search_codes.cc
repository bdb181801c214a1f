#include "export/search_codes.h"

#include <algorithm>
#include <map>

#include "catalogue/catalogue.h"
#include "export/column_rewrite.h"
#include "platform/common/cp1252.h"
#include "platform/common/error.h"
#include "platform/dataset/binary_packet.h"
#include "platform/ui/mask.h"

namespace kve::exporting {
namespace {

// The person type of a code: its first character ("" for an empty code).
std::string_view PersonType(std::string_view code) { return code.empty() ? code : SplitChars(code.substr(0, 4)).front(); }

// A packet's text as UTF-8, in `scratch` unless it is plain ASCII.
std::string_view Utf8Of(std::string_view cp1252, std::string& scratch) {
  for (char ch : cp1252)
    if (static_cast<unsigned char>(ch) >= 0x80) {
      scratch.clear();
      AppendUtf8FromCp1252(cp1252, scratch);
      return scratch;
    }
  return cp1252;
}

// Whether every row of `packet` holds in `derived` (never null) what the run derives from
// its `sources` (UTF-8, null as empty), as `holds` tells; the packet in the writer's form.
bool DerivedColumnCurrent(std::string_view packet, std::string_view derived,
                          std::initializer_list<std::string_view> sources,
                          const std::function<bool(std::span<const std::string_view> in, std::string_view stored)>& holds) {
  std::vector<std::string_view> columns(sources);
  columns.push_back(derived);
  std::vector<std::string> scratch(columns.size());
  std::vector<std::string_view> in(sources.size());
  return IsWrittenForm(packet, columns, [&](std::span<const std::string_view> v) {
    const std::string_view stored = v.back();
    if (stored.data() == nullptr) return false;  // the derivation stores a text, never a null
    for (size_t k = 0; k < in.size(); ++k) in[k] = Utf8Of(v[k], scratch[k]);
    return holds(in, Utf8Of(stored, scratch.back()));
  });
}

// The same for a masked registration number.
bool RegistrationNumbersCurrent(std::string_view packet, std::string_view codeColumn,
                                std::string_view numberColumn, std::string_view maskedColumn,
                                const PersonMaskFn& personMask) {
  std::map<std::string, EditMask, std::less<>> masks;
  return DerivedColumnCurrent(packet, maskedColumn, {codeColumn, numberColumn},
                              [&](std::span<const std::string_view> v, std::string_view stored) {
                                const std::string_view type = PersonType(v[0]);
                                auto it = masks.find(type);
                                if (it == masks.end())
                                  it = masks.emplace(std::string(type), EditMask(personMask(type))).first;
                                return it->second.Formats(v[1], " ", stored);
                              });
}

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
    const std::string_view type = PersonType(c);
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

  BuildProductCodes(prodCod, std::move(index));
}

void BuildProductCodes(TClientDataSet& prodCod, std::vector<std::pair<std::string, int>> index) {
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

bool SearchCodesCurrent(std::string_view packet, std::string_view productMask,
                        std::vector<std::pair<std::string, int>>* codes) {
  const EditMask mask(productMask);
  int position = 0;
  return DerivedColumnCurrent(packet, "CDPSQPROD", {"CDARVPROD"},
                              [&](std::span<const std::string_view> v, std::string_view stored) {
                                if (!mask.Formats(v[0], " ", stored)) return false;
                                if (codes) codes->emplace_back(stored, position++);
                                return true;
                              });
}

bool ClientNumbersCurrent(std::string_view packet, const PersonMaskFn& personMask) {
  return RegistrationNumbersCurrent(packet, "CDCLIENTE", "NRINSJURCL", "NRMSKCLIE", personMask);
}

bool SupplierNumbersCurrent(std::string_view packet, const PersonMaskFn& personMask) {
  return RegistrationNumbersCurrent(packet, "CDFORNECED", "NRINSJURFO", "NRMSKFORN", personMask);
}

}  // namespace kve::exporting
