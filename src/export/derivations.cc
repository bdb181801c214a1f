#include "export/derivations.h"

#include "platform/maker/language.h"
#include "platform/maker/person_mask.h"
#include "platform/maker/picture.h"

namespace kve::exporting {

DerivationValues MakerDerivationValues() {
  return DerivationValues{Corvane::DBPict(0), &Consiste::PictPess, Trad_utl::RetornaIdioma()};
}

std::string DeriveExportTables(DerivedTableSet& t, const DerivationValues& v,
                               const std::function<bool(const TClientDataSet&)>& leftAsSent) {
  const auto derive = [&](const TClientDataSet& ds) { return !leftAsSent || !leftAsSent(ds); };
  if (derive(t.soliComp)) DeriveSoliCompCodes(t.soliComp, v.productMask);
  DeriveProductCodes(t.produto, t.prodCod, v.productMask);
  BuildProductIndex(t.prodCod, t.produtoCod);
  if (derive(t.itemAF)) DeriveItemAFCodes(t.itemAF, v.productMask);
  if (derive(t.cliente)) DeriveClientNumbers(t.cliente, v.personMask);
  if (derive(t.forneced)) DeriveSupplierNumbers(t.forneced, v.personMask);
  const std::string afBlock = CheckSupplyAuthorisations(t.param, t.filial, t.numAF);
  BuildLanguageTable(t.idioma, v.language);
  return afBlock;
}

}  // namespace kve::exporting
