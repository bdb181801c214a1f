#pragma once
// The decisions of the export button that need no screen: the device history read back from
// the server, and whether the purchase-request count may stand.

#include <string>
#include <string_view>

#include "platform/dataset/dataset.h"
#include "platform/net/connection.h"

namespace kve::params {

// Asks the server for the device's history (GetHistPalm: central, device) and loads the
// answer into `into`, replacing its rows. A text answer is the server's error and is raised.
void LoadDeviceHistory(RemoteCaller& server, const std::string& central, const std::string& device,
                       TClientDataSet& into);

// The marks of the history's first row (IDHISTPALM, IDERROPALM); empty texts without a row.
struct HistoryMarks {
  std::string kind;
  std::string error;
};
HistoryMarks FirstHistoryMarks(TClientDataSet& history);

// True when the device still holds an export that never came back: the last event was an
// export ("0") that completed ("0"). The operator must then confirm overwriting it.
bool ExportNotImportedBack(const HistoryMarks& marks);

// Whether the count of latest purchase requests may stand: at least 1, and a text that is not
// empty, not "0" and holds no "-".
bool PurchaseRequestCountAccepted(int value, std::string_view text);

}  // namespace kve::params
