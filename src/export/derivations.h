#pragma once
// The derivations of one export run in their order, over the screen's tables, with the values
// the maker supplies. The export run calls DeriveExportTables after loading the server's tables
// and before writing any file; BuildEeepcSettings (derived_tables.h) comes later, for an eeePC.

#include <string>

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
std::string DeriveExportTables(DerivedTableSet& t, const DerivationValues& v);

}  // namespace kve::exporting
