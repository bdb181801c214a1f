#pragma once
// The derivations of one export run in their order, over the screen's tables, with the values
// the maker supplies. The export run calls DeriveExportTables after loading the server's tables
// and before writing any file; BuildEeepcSettings (derived_tables.h) comes later, for an eeePC.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "export/derived_tables.h"
#include "export/search_codes.h"
#include "platform/dataset/dataset.h"

namespace kve::exporting {

struct DerivationValues {
  std::string productMask;  // Corvane::DBPict(0)
  PersonMaskFn personMask;  // Consiste::PictPess
  std::string language;     // Trad_utl::RetornaIdioma
};

// The values from the installed maker services.
DerivationValues MakerDerivationValues();

struct DerivedTableSet {
  TClientDataSet& soliComp;
  TClientDataSet& produto;
  TClientDataSet& prodCod;
  TClientDataSet& produtoCod;
  TClientDataSet& itemAF;
  TClientDataSet& cliente;
  TClientDataSet& forneced;
  TClientDataSet& param;
  TClientDataSet& filial;
  TClientDataSet& numAF;
  TClientDataSet& idioma;
};

// Search codes of SOLICOMP, PRODUTO (with cdsProdCod), PROD_COD, search codes of ITEMAF,
// masked numbers of CLIENTE and FORNECED, the supply-authorisation check and TRADUCAO, in
// that order. Returns the AF-block flag ("S" or "N").
// A table for which `leftAsSent` is true is neither read nor rewritten: an eeePC export that
// writes its image as the server sent it (images_as_sent.h), its codes already the derived
// ones, does not load it. PRODUTO may be left so only with `productCodes`, its search codes
// and positions as the check of its image gave them (cdsProdCod is built of them).
std::string DeriveExportTables(DerivedTableSet& t, const DerivationValues& v,
                               const std::function<bool(const TClientDataSet&)>& leftAsSent = {},
                               const std::vector<std::pair<std::string, int>>* productCodes = nullptr);

}  // namespace kve::exporting
