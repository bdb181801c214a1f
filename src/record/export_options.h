#pragma once
// The parameters of one export as the operator or the command line gave them: what the export
// ledger records of a run, whichever face ran it.

#include <optional>
#include <string>
#include <vector>

#include "platform/dataset/datetime.h"

namespace kve::record {

enum class Target { Palm, Eeepc };

struct DateRange {
  TDateTime from, to;
};

struct ExportOptions {
  std::string configFile;
  Target target = Target::Palm;
  std::string device;  // the Palm or eeePC code of this run
  // The devices asked for, codes as given; {"all"} for every device of the central.
  std::vector<std::string> devices;
  DateRange menu, requests, af;
  std::string nutritionist;           // empty: none
  std::vector<std::string> branches;  // empty: every aggregated branch ("Todos")
  // Product filter: the whole tree unless one of the restricting options is given.
  bool activeOnly = false;
  std::optional<int> latest;  // the latest N purchase requests
  std::string grouping;       // product grouping code; empty: none
  bool yes = false;           // answer Yes to the screen's questions
  bool json = false;          // one JSON summary object on standard output
  // Runs the checks, the server call and the derivations, and tells what would be written:
  // no file written, nothing queued or copied, no history recorded on the server.
  bool dryRun = false;

  bool WholeTree() const { return !activeOnly && !latest && grouping.empty(); }
};

}  // namespace kve::record
