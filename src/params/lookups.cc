#include "params/lookups.h"

#include <vector>

#include "params/param_queries.h"
#include "platform/common/error.h"

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

std::string CheckResultServ(const RemoteValue& answer, const std::string& method) {
  if (answer.isText()) {
    const auto& text = std::get<std::string>(answer.value);
    throw Error(text.empty() ? method + ": the server answered with an empty text" : text);
  }
  if (!answer.isPacket) {
    throw FormatError(method + ": the server answered with an array instead of one table");
  }
  return std::get<std::string>(answer.value);
}

void LoadAgrupProd(RemoteCaller& server, const std::string& code, const std::string& all,
                   TClientDataSet& into) {
  std::vector<RemoteArg> args = {RemoteArg::Value(code), RemoteArg::Value(all)};
  RemoteValue answer = server.Call("GetAgrupProd", args);
  into.SetData(CheckResultServ(answer, "GetAgrupProd"));
}

}  // namespace kve::params
