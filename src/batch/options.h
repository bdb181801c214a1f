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
#include "record/export_options.h"

namespace kve::batch {

// The export's parameters are the record's: kve-export fills them from its command line.
using record::DateRange;
using record::ExportOptions;
using record::Target;

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
