#include "export/derivations.h"

#include "platform/common/error.h"
#include "platform/maker/language.h"
#include "platform/maker/person_mask.h"
#include "platform/maker/picture.h"

namespace kve::exporting {

DerivationValues MakerDerivationValues() {
  return DerivationValues{Corvane::DBPict(0), &Consiste::PictPess, Trad_utl::RetornaIdioma()};
}

std::string DeriveExportTables(DerivedTableSet& t, const DerivationValues& v,
                               const std::function<bool(const TClientDataSet&)>& leftAsSent,
                               const std::vector<std::pair<std::string, int>>* productCodes) {
  const auto derive = [&](const TClientDataSet& ds) { return !leftAsSent || !leftAsSent(ds); };
  if (derive(t.soliComp)) DeriveSoliCompCodes(t.soliComp, v.productMask);
  if (derive(t.produto))
    DeriveProductCodes(t.produto, t.prodCod, v.productMask);
  else if (productCodes)
    BuildProductCodes(t.prodCod, *productCodes);
  else
    throw Error("PRODUTO left as sent without its search codes");
  BuildProductIndex(t.prodCod, t.produtoCod);
  if (derive(t.itemAF)) DeriveItemAFCodes(t.itemAF, v.productMask);
  if (derive(t.cliente)) DeriveClientNumbers(t.cliente, v.personMask);
  if (derive(t.forneced)) DeriveSupplierNumbers(t.forneced, v.personMask);
  const std::string afBlock = CheckSupplyAuthorisations(t.param, t.filial, t.numAF);
  BuildLanguageTable(t.idioma, v.language);
  return afBlock;
}

}  // namespace kve::exporting
