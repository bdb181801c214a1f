#pragma once
// kve-export once its command line and configuration are read: the export to each device
// asked for, in turn, each recorded in the export ledger and summed up; or the ledger itself.

#include <ostream>
#include <string>
#include <vector>

#include "batch/options.h"
#include "host/site.h"

namespace kve::batch {

// The codes of every Palm (or eeePC) of the central kitchen `central`, in code order.
std::vector<std::string> DevicesOfCentral(Database& db, const std::string& central, Target target);

// Exports to every device of `o.devices` with the same parameters, one after another; a
// device that fails does not stop the next. Tables are fetched once for all. Summaries go to
// `out` (one JSON document with --json), messages and progress to `err` (messages to `out`
// without --json). Returns the exit status: the worst ending of all devices.
int RunExports(const ExportOptions& o, Site& site, std::ostream& out, std::ostream& err, bool tty);

// --history: the ledger of the configured data folder, or one entry; the exit status.
int ShowHistory(const HistoryQuery& q, const maker::HostConfig& c, std::ostream& out, std::ostream& err);

}  // namespace kve::batch
