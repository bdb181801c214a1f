#pragma once
// The decisions and small tables the export run derives from the server's tables: whether
// the supply-authorisation warning is due, the language table TRADUCAO and the eeePC's
// branch-and-operator table DADOS_EEPC.

#include <functional>
#include <string>
#include <string_view>

#include "platform/dataset/dataset.h"

namespace kve::exporting {

// "S" when a branch that must have a supply authorisation has none in cdsNumAF (CDFILDEST,
// exact match), else "N". Every branch must have one when cdsParam's IDBLOQNFSAF is "S";
// otherwise only the branches whose own IDBLOQNFSAF is "S". The walk over cdsFilial stops at
// the first branch without one and leaves the cursor there.
std::string CheckSupplyAuthorisations(TClientDataSet& param, TClientDataSet& filial,
                                      const TClientDataSet& numAF);

// The code TRADUCAO carries for an interface language: "1" for "ESP", "2" for "ING", "0" else.
std::string_view LanguageCode(std::string_view language);

// cdsIdioma recreated with its one row. The row stays in the change log as an inserted row.
void BuildLanguageTable(TClientDataSet& idioma, std::string_view language);

// Password text -> the text the device may hold (Criptografa::CriptoPlus).
using PasswordTransformFn = std::function<std::string(std::string_view password)>;

// cdsDados recreated: for every branch of cdsFilial in order, one row per operator of
// cdsOperador with that CDFILIAL (in the operators' order, password transformed), or one row
// with empty operator columns when the branch has none. Every row carries `dirExp` in DIREXP
// and `productMask` in PRODMASK. The rows stay in the change log as inserted rows.
void BuildEeepcSettings(TClientDataSet& dados, TClientDataSet& filial,
                        const TClientDataSet& operador, std::string_view dirExp,
                        std::string_view productMask, const PasswordTransformFn& transform);

}  // namespace kve::exporting
