#include "export/derivations.h"

#include "platform/maker/language.h"
#include "platform/maker/person_mask.h"
#include "platform/maker/picture.h"

namespace kve::exporting {

DerivationValues MakerDerivationValues() {
  return DerivationValues{Corvane::DBPict(0), &Consiste::PictPess, Trad_utl::RetornaIdioma()};
}

std::string DeriveExportTables(DerivedTableSet& t, const DerivationValues& v) {
  DeriveSoliCompCodes(t.soliComp, v.productMask);
  DeriveProductCodes(t.produto, t.prodCod, v.productMask);
  BuildProductIndex(t.prodCod, t.produtoCod);
  DeriveItemAFCodes(t.itemAF, v.productMask);
  DeriveClientNumbers(t.cliente, v.personMask);
  DeriveSupplierNumbers(t.forneced, v.personMask);
  const std::string afBlock = CheckSupplyAuthorisations(t.param, t.filial, t.numAF);
  BuildLanguageTable(t.idioma, v.language);
  return afBlock;
}

}  // namespace kve::exporting
