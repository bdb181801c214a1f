#include "export/derived_tables.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "catalogue/catalogue.h"
#include "export/column_rewrite.h"
#include "platform/common/error.h"

namespace kve::exporting {
namespace {

// The text of a field of the current row, "" when there is none.
std::string CurrentText(TClientDataSet& ds, std::string_view field) {
  TField f = ds.FieldByName(field);
  return ds.Eof() ? std::string() : f.AsString();
}

}  // namespace

std::string CheckSupplyAuthorisations(TClientDataSet& param, TClientDataSet& filial,
                                      const TClientDataSet& numAF) {
  param.First();
  const bool everyBranch = CurrentText(param, "IDBLOQNFSAF") == "S";

  // Authorised destinations, gathered once on the first branch that needs them.
  std::unordered_set<std::string> destinations;
  bool gathered = false;
  auto authorised = [&](const std::string& branch) {
    if (!gathered) {
      const int dest = numAF.FindFieldIndex("CDFILDEST");
      if (dest < 0) throw Error(numAF.Name() + ": field 'CDFILDEST' not found");
      for (int r = 0; r < numAF.StoredRowCount(); ++r)
        destinations.emplace(TextOf(numAF.Row(r), dest));
      gathered = true;
    }
    return destinations.count(branch) > 0;
  };

  TField code = filial.FieldByName("CDFILIAL");
  TField own = filial.FieldByName("IDBLOQNFSAF");
  for (filial.First(); !filial.Eof(); filial.Next()) {
    if (!everyBranch && own.AsString() != "S") continue;
    if (!authorised(code.AsString())) return "S";
  }
  return "N";
}

std::string_view LanguageCode(std::string_view language) {
  if (language == "ESP") return "1";
  if (language == "ING") return "2";
  return "0";
}

void BuildLanguageTable(TClientDataSet& idioma, std::string_view language) {
  CreateEmpty(idioma, FindTable("cdsIdioma"));
  idioma.Insert();
  idioma.FieldByName("CDIDIOMA").SetAsString(LanguageCode(language));
  idioma.Post();
}

void BuildEeepcSettings(TClientDataSet& dados, TClientDataSet& filial,
                        const TClientDataSet& operador, std::string_view dirExp,
                        std::string_view productMask, const PasswordTransformFn& transform) {
  CreateEmpty(dados, FindTable("cdsDados"));
  const std::string mask(productMask);

  // The operators of each branch in their table order: the same rows, in the same order, as
  // narrowing the operator table to one branch at a time, in one pass instead of one per branch.
  auto column = [&](std::string_view name) {
    const int i = operador.FindFieldIndex(name);
    if (i < 0) throw Error(operador.Name() + ": field '" + std::string(name) + "' not found");
    return i;
  };
  const int opBranch = column("CDFILIAL"), opCode = column("CDOPERADOR"),
            opName = column("NMOPERADOR"), opPassword = column("CDSENHAOPE"),
            opFiliOper = column("CDFILIOPER");
  std::unordered_map<std::string, std::vector<int>> byBranch;
  for (int r : operador.StorageOrder())
    byBranch[std::string(TextOf(operador.Row(r), opBranch))].push_back(r);

  TField fCode = filial.FieldByName("CDFILIAL");
  TField fName = filial.FieldByName("NMFILIAL");
  auto set = [&](std::string_view field, std::string_view value, const std::string& key) {
    TField f = dados.FieldByName(field);
    CheckFits(dados, f.Index(), value, dados.StoredRowCount() + 1, key);
    f.SetAsString(value);
  };
  auto addRow = [&](const std::string& branch, const std::string& branchName, const RowView* op) {
    const std::string key = "CDFILIAL=" + branch +
                            (op ? ", CDOPERADOR=" + std::string(TextOf(*op, opCode)) : "");
    dados.Insert();
    set("CDFILIAL", branch, key);
    set("NMFILIAL", branchName, key);
    if (op) {
      set("CDOPERADOR", TextOf(*op, opCode), key);
      set("NMOPERADOR", TextOf(*op, opName), key);
      set("CDSENHAOPE", transform(TextOf(*op, opPassword)), key);
      set("CDFILIOPER", TextOf(*op, opFiliOper), key);
    }
    set("DIREXP", dirExp, key);
    set("PRODMASK", mask, key);
    dados.Post();
  };

  for (filial.First(); !filial.Eof(); filial.Next()) {
    const std::string branch = fCode.AsString();
    const std::string branchName = fName.AsString();
    const auto it = byBranch.find(branch);
    if (it == byBranch.end()) {
      addRow(branch, branchName, nullptr);
      continue;
    }
    for (int r : it->second) {
      const RowView op = operador.Row(r);
      addRow(branch, branchName, &op);
    }
  }
}

}  // namespace kve::exporting
