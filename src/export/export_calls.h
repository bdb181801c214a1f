#pragma once
// The export's calls to the application server, and what they are built from: GetTabelas,
// which fetches every table in one call, the device history's record (InsHistPalm), and the
// aggregated-branch list sent with the first.

#include <string>

#include "platform/dataset/dataset.h"
#include "platform/db/database.h"
#include "platform/net/connection.h"

namespace kve::exporting {

// The arguments of GetTabelas. The three references are sent and then replaced by what the
// server returns for them.
struct GetTabelasRequest {
  std::string central;
  std::string& listaAgreg;
  TDateTime cardIni, cardFim, soliCompIni, soliCompFim, afIni, afFim;
  std::string productLevels;  // levels of the product-tree picture, in decimal
  std::string& nrSolic;
  std::string& productStatus;  // "T" or "A"
  std::string grouping;
  std::string operatorCode;
};

// The arguments of `request` as they would be sent, as one text: two requests give the same
// text exactly when their arguments are the same.
std::string RequestKey(const GetTabelasRequest& request);

// Calls GetTabelas with its 13 arguments in order; the answer is the server's (a text is its
// error, to be raised by the caller when it loads the tables).
RemoteValue CallGetTabelas(RemoteCaller& server, GetTabelasRequest& request);

// Records an event in the device's history (InsHistPalm, five texts) and checks the answer;
// a text answer is the server's error and is raised with it.
void RecordHistory(RemoteCaller& server, const std::string& central, const std::string& device,
                   const std::string& message, const std::string& kind, const std::string& error);

// The aggregated-branch list of the open query's rows: "_" and CDFILIAL for each, in the
// query's order ("_0002_0003"); empty without rows.
std::string AggregatedList(TADOIBQuery& query);

}  // namespace kve::exporting
