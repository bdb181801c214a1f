#include "export/export_calls.h"

#include <vector>

#include "platform/net/check_result.h"

namespace kve::exporting {

std::string RequestKey(const GetTabelasRequest& r) {
  std::string key;
  auto add = [&key](std::string_view text) { key += std::to_string(text.size()) + ":" + std::string(text) + ";"; };
  for (const std::string* t : std::initializer_list<const std::string*>{
           &r.central, &r.listaAgreg, &r.productLevels, &r.nrSolic, &r.productStatus, &r.grouping, &r.operatorCode})
    add(*t);
  for (TDateTime d : {r.cardIni, r.cardFim, r.soliCompIni, r.soliCompFim, r.afIni, r.afFim}) add(std::to_string(d.ms()));
  return key;
}

RemoteValue CallGetTabelas(RemoteCaller& server, GetTabelasRequest& r) {
  std::vector<RemoteArg> args = {
      RemoteArg::Value(r.central),         RemoteArg::ByRef(r.listaAgreg),
      RemoteArg::OfDate(r.cardIni),        RemoteArg::OfDate(r.cardFim),
      RemoteArg::OfDate(r.soliCompIni),    RemoteArg::OfDate(r.soliCompFim),
      RemoteArg::OfDate(r.afIni),          RemoteArg::OfDate(r.afFim),
      RemoteArg::Value(r.productLevels),   RemoteArg::ByRef(r.nrSolic),
      RemoteArg::ByRef(r.productStatus),   RemoteArg::Value(r.grouping),
      RemoteArg::Value(r.operatorCode),
  };
  return server.Call("GetTabelas", args);
}

void RecordHistory(RemoteCaller& server, const std::string& central, const std::string& device,
                   const std::string& message, const std::string& kind, const std::string& error) {
  std::vector<RemoteArg> args = {RemoteArg::Value(central), RemoteArg::Value(device),
                                 RemoteArg::Value(message), RemoteArg::Value(kind),
                                 RemoteArg::Value(error)};
  ::Consiste::CheckResultServ(server.Call("InsHistPalm", args), true, 0);
}

std::string AggregatedList(TADOIBQuery& query) {
  std::string list;
  for (query.First(); !query.Eof(); query.Next()) list += "_" + query.FieldByName("CDFILIAL").AsString();
  return list;
}

}  // namespace kve::exporting
