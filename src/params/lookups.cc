#include "params/lookups.h"

#include <vector>

#include "params/param_queries.h"
#include "platform/net/check_result.h"

namespace kve::params {

void PrepareNutricioList(TADOIBQuery& q) { q.SetSQL(NutricioListSql()); }
void PrepareNutricioCheck(TADOIBQuery& q) { q.SetSQL(NutricioCheckSql()); }
void PrepareAgregada(TADOIBQuery& q) { q.SetSQL(AgregadaSql()); }
void PrepareAgregadaOper(TADOIBQuery& q) { q.SetSQL(AgregadaOperSql()); }

void OpenNutricioList(TADOIBQuery& q, const std::string& central) {
  q.Close();
  q.ParamByName("P_CDFILCENTKVE").SetAsString(central);
  q.Open();
}

std::optional<std::string> FindNutricio(TADOIBQuery& q, const std::string& code,
                                        const std::string& central) {
  q.Close();
  q.ParamByName("P_CDNUTRICIO").SetAsString(code);
  q.ParamByName("P_CDFILCENTKVE").SetAsString(central);
  q.Open();
  if (q.Eof()) return std::nullopt;
  return q.FieldByName("NMOPERADOR").AsString();
}

void OpenAgregada(TADOIBQuery& q, const std::string& central) {
  q.Close();
  q.ParamByName("P_CDFILCENTKVE").SetAsString(central);
  q.Open();
}

void OpenAgregadaOper(TADOIBQuery& q, const std::string& central, const std::string& nutricio) {
  q.Close();
  q.ParamByName("P_CDFILCENTKVE").SetAsString(central);
  q.ParamByName("P_CDOPERADOR").SetAsString(nutricio);
  q.Open();
}

void LoadAgrupProd(RemoteCaller& server, const std::string& code, const std::string& all,
                   TClientDataSet& into) {
  std::vector<RemoteArg> args = {RemoteArg::Value(code), RemoteArg::Value(all)};
  RemoteValue answer = server.Call("GetAgrupProd", args);
  into.SetData(::Consiste::CheckResultServ(answer, true, 0));
}

}  // namespace kve::params
