#include "params/trigger_rules.h"

#include <vector>

#include "platform/net/check_result.h"

namespace kve::params {

void LoadDeviceHistory(RemoteCaller& server, const std::string& central, const std::string& device,
                       TClientDataSet& into) {
  std::vector<RemoteArg> args = {RemoteArg::Value(central), RemoteArg::Value(device)};
  RemoteValue answer = server.Call("GetHistPalm", args);
  into.SetData(::Consiste::CheckResultServ(answer, true, 0));
}

HistoryMarks FirstHistoryMarks(TClientDataSet& history) {
  history.First();
  if (history.Eof()) return {};
  return {history.FieldByName("IDHISTPALM").AsString(), history.FieldByName("IDERROPALM").AsString()};
}

bool ExportNotImportedBack(const HistoryMarks& marks) { return marks.kind == "0" && marks.error == "0"; }

bool PurchaseRequestCountAccepted(int value, std::string_view text) {
  return value >= 1 && !text.empty() && text != "0" && text.find('-') == std::string_view::npos;
}

}  // namespace kve::params
