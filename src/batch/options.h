#pragma once
// The command line of kve-export, the batch face of the export screen:
//
//   kve-export --config FILE (--palm CODES | --eeepc CODES)
//              --menu FROM:TO --requests FROM:TO --af FROM:TO
//              [--nutritionist CODE] [--branches all|0002,0003,...]
//              [--whole-tree | [--active-only] [--latest N] [--grouping CODE]]
//              [--dry-run] [--yes] [--json]
//   kve-export --config FILE --history [ID] [--device CODE] [--json]
//
// CODES is one device code, several separated by commas ("001,003"), or "all": every device
// of that kind of the central kitchen, each exported in turn with the same parameters.
//
// Dates are yyyy-mm-dd, dd/mm/yyyy, "today", "today+N" or "today-N". Codes are kept as typed:
// the screen pads them as it pads an operator's. The order of a range's dates, a code that
// does not exist and the like are the screen's checks, not the parser's.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dataset/datetime.h"

namespace kve::batch {

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

// A day as the command line gives it, `today` standing for "today": "2026-12-07",
// "07/12/2026", "today", "today+7", "today-30". Nothing when the text is none of these.
std::optional<TDateTime> ParseDay(std::string_view text, TDateTime today);

// "FROM:TO", each a day as ParseDay reads it; raises ValueError naming the text.
DateRange ParseRange(std::string_view text, TDateTime today);

// `--history`: the export ledger of the workstation, or one entry of it.
struct HistoryQuery {
  std::string configFile;
  std::optional<int64_t> id;  // one entry, file by file
  std::string device;         // only this device's entries; empty: all
  bool json = false;
};

// What the command line asks for: an export, the history, or what to print and the exit
// status (0 after --help, 2 for wrong usage).
struct CommandLine {
  std::optional<ExportOptions> options;
  std::optional<HistoryQuery> history;
  int exitStatus = 0;
  std::string output;  // help text, for standard output
  std::string error;   // usage error, for standard error
};

CommandLine ParseCommandLine(const std::vector<std::string>& args, TDateTime today);

}  // namespace kve::batch
