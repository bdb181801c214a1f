#pragma once
// Derived code columns of the export tables: product search codes (the product-tree code laid
// into the product mask), the sorted product index PROD_COD, and registration numbers laid
// into the mask of the client's or supplier's person type. Each takes the values it needs from
// the maker as parameters. A derived value longer than its column fails with a
// kve::ValueError naming the table, row, key, column and value, and leaves the table as it
// was; a silently cut search code would send the device to the wrong product.

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/dataset/dataset.h"

namespace kve::exporting {

// Person type (first character of a code) -> registration edit mask (Consiste::PictPess).
using PersonMaskFn = std::function<std::string(std::string_view personType)>;

// CDPSQPROD = FormatMaskText(productMask, CDARVPROD) on every row of cdsSoliComp.
void DeriveSoliCompCodes(TClientDataSet& soliComp, std::string_view productMask);

// CDPSQPROD on every row of cdsProduto, and cdsProdCod rebuilt alongside: one row per product
// with its search code and its 0-based position in the products' order, the table kept in
// ascending search-code order.
void DeriveProductCodes(TClientDataSet& produto, TClientDataSet& prodCod,
                        std::string_view productMask);

// cdsProdutoCod (written as PROD_COD) rebuilt from cdsProdCod in ascending search-code order;
// equal codes stay next to each other in product order.
void BuildProductIndex(const TClientDataSet& prodCod, TClientDataSet& produtoCod);

// CDPSQPROD on every row of cdsItemAF.
void DeriveItemAFCodes(TClientDataSet& itemAF, std::string_view productMask);

// NRMSKCLIE = FormatMaskText(personMask(first character of CDCLIENTE), NRINSJURCL).
void DeriveClientNumbers(TClientDataSet& cliente, const PersonMaskFn& personMask);
// NRMSKFORN = FormatMaskText(personMask(first character of CDFORNECED), NRINSJURFO).
void DeriveSupplierNumbers(TClientDataSet& forneced, const PersonMaskFn& personMask);

// Whether a table's binary packet, as the server sent it, already holds what the derivation
// above would set: in the writer's form (IsWrittenForm), every row's derived column present and
// equal to the value computed from the row. Then the run may write the packet as it came.
// With `codes`, the search code of every row goes there with the row's 0-based position (what
// cdsProdCod is built of when the packet is cdsProduto's).
bool SearchCodesCurrent(std::string_view packet, std::string_view productMask,
                        std::vector<std::pair<std::string, int>>* codes = nullptr);

// cdsProdCod rebuilt from products' search codes and positions, as DeriveProductCodes builds it.
void BuildProductCodes(TClientDataSet& prodCod, std::vector<std::pair<std::string, int>> index);
bool ClientNumbersCurrent(std::string_view packet, const PersonMaskFn& personMask);
bool SupplierNumbersCurrent(std::string_view packet, const PersonMaskFn& personMask);

}  // namespace kve::exporting
