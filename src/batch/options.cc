#include "batch/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <cctype>
#include <charconv>
#include <sstream>

#include "platform/common/error.h"

namespace kve::batch {
namespace {

bool AllDigits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// A code the screen's field takes as typed: digits only, at most `width` of them.
CLI::Validator DigitsUpTo(int width) {
  return CLI::Validator(
      [width](std::string& s) -> std::string {
        if (AllDigits(s) && static_cast<int>(s.size()) <= width) return {};
        return "\"" + s + "\" is not a code of 1 to " + std::to_string(width) + " digits";
      },
      "");
}

CLI::Validator Range(TDateTime today) {
  return CLI::Validator(
      [today](std::string& s) -> std::string {
        try {
          ParseRange(s, today);
          return {};
        } catch (const ValueError& e) {
          return e.what();
        }
      },
      "");
}

// "all", or device codes of 1 to 3 digits separated by commas.
CLI::Validator DeviceCodes() {
  return CLI::Validator(
      [](std::string& s) -> std::string {
        if (s == "all") return {};
        std::stringstream in(s);
        int n = 0;
        for (std::string code; std::getline(in, code, ',');) {
          if (!AllDigits(code) || code.size() > 3) {
            return "\"" + code + "\" is not a device code of 1 to 3 digits (give codes such as 001,003, or all)";
          }
          ++n;
        }
        if (n == 0 || s.back() == ',') return "give a device code, codes such as 001,003, or all";
        return {};
      },
      "");
}

std::vector<std::string> SplitCodes(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  for (std::string code; std::getline(in, code, ',');) {
    if (std::find(out.begin(), out.end(), code) == out.end()) out.push_back(code);
  }
  return out;
}

// Parses `args` with `app`, then runs `check`, which throws CLI::ValidationError for a wrong
// combination. Returns false when the command ends here: help asked for (status 0, the help in
// `result.output`) or wrong usage (status 2, the message in `result.error`).
bool Parse(CLI::App& app, const std::vector<std::string>& args, CommandLine& result,
           const std::function<void()>& check = {}) {
  std::vector<const char*> argv{"kve-export"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
    if (check) check();
    return true;
  } catch (const CLI::ParseError& e) {
    std::ostringstream out, err;
    result.exitStatus = app.exit(e, out, err) == 0 ? 0 : 2;
    result.output = out.str();
    result.error = err.str();
    return false;
  }
}

// An export's number as the ledger lists it, in the words an administrator reads.
const CLI::Validator ExportNumber(
    [](const std::string& text) -> std::string {
      const bool digits = !text.empty() && text.size() <= 18 &&
                          text.find_first_not_of("0123456789") == std::string::npos;
      if (digits && std::stoll(text) > 0) return {};
      return "\"" + text + "\" is not an export number (a whole number from 1, as --history lists them)";
    },
    "ID");

CommandLine ParseHistory(const std::vector<std::string>& args) {
  CLI::App app{"Lists the export ledger of this workstation, or one export file by file.",
               "kve-export --history"};
  HistoryQuery q;
  int64_t id = 0;
  app.add_option("--config", q.configFile, "configuration file (TOML) of this workstation")
      ->required()->type_name("FILE");
  auto* history = app.add_option("--history", id, "one export of the ledger, file by file, e.g. --history 12")
                      ->expected(0, 1)->check(ExportNumber)->type_name("[ID]");
  app.add_option("--device", q.device, "only the exports of this device, e.g. --device 001")
      ->type_name("CODE");
  app.add_flag("--json", q.json, "the entries as JSON");
  CommandLine result;
  if (!Parse(app, args, result)) return result;
  if (history->count() > 0 && id > 0) q.id = id;
  result.history = q;
  return result;
}

// "all", or branch codes separated by commas: 1 to 4 letters or digits each.
std::string SplitBranches(const std::string& text, std::vector<std::string>& out) {
  out.clear();
  if (text == "all") return {};
  std::stringstream in(text);
  std::string code;
  while (std::getline(in, code, ',')) {
    bool ok = !code.empty() && code.size() <= 4;
    for (char c : code) ok = ok && std::isalnum(static_cast<unsigned char>(c));
    if (!ok) return "--branches: \"" + code + "\" is not a branch code (1 to 4 letters or digits)";
    out.push_back(code);
  }
  if (out.empty() || text.back() == ',') return "--branches: give \"all\" or codes such as 0002,0003";
  return {};
}

}  // namespace

std::optional<TDateTime> ParseDay(std::string_view text, TDateTime today) {
  if (text.substr(0, 5) == "today") {
    std::string_view rest = text.substr(5);
    if (rest.empty()) return today.DateOnly();
    if (rest.size() < 2 || (rest[0] != '+' && rest[0] != '-') || rest.size() > 6 ||
        !AllDigits(rest.substr(1))) {
      return std::nullopt;
    }
    int days = 0;
    std::from_chars(rest.data() + 1, rest.data() + rest.size(), days);
    int32_t day = today.day() + (rest[0] == '+' ? days : -days);
    if (day < 1 || day > DayNumber({9999, 12, 31})) return std::nullopt;
    return TDateTime::FromMs(int64_t{day} * kMsPerDay);
  }
  if (text.size() == 10 && text[4] == '-') return ParseIsoDate(text);
  return ParseDate(text);
}

DateRange ParseRange(std::string_view text, TDateTime today) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos) {
    throw ValueError("\"" + std::string(text) + "\" is not FROM:TO");
  }
  auto from = ParseDay(text.substr(0, colon), today);
  auto to = ParseDay(text.substr(colon + 1), today);
  for (auto [day, part] : {std::pair{&from, text.substr(0, colon)},
                           std::pair{&to, text.substr(colon + 1)}}) {
    if (!*day) {
      throw ValueError("\"" + std::string(part) +
                       "\" is not a date (yyyy-mm-dd, dd/mm/yyyy, today, today+N, today-N)");
    }
  }
  return {*from, *to};
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, TDateTime today) {
  for (const std::string& a : args) {
    if (a == "--history" || a.starts_with("--history=")) return ParseHistory(args);
  }
  CLI::App app{
      "Runs the data export of the central kitchen without a window: fills the export screen "
      "as an operator would, presses Export, prints every message the screen shows.",
      "kve-export"};
  app.get_formatter()->column_width(34);
  ExportOptions o;
  std::string palm, eeepc, menu, requests, af, branches = "all";
  int latest = -1;

  app.add_option("--config", o.configFile,
                 "configuration file (TOML) of this workstation, e.g. --config site/kve.toml")
      ->required()->type_name("FILE");
  auto* palmOpt = app.add_option("--palm", palm,
                                 "export to the Palm with this code, to several or to every Palm of the "
                                 "central, e.g. --palm 001, --palm 001,003 or --palm all")
                      ->check(DeviceCodes())->type_name("CODES");
  auto* epcOpt = app.add_option("--eeepc", eeepc, "export to the eeePC with this code, to several or to all, "
                                                  "e.g. --eeepc 002")
                     ->check(DeviceCodes())->type_name("CODES");
  palmOpt->excludes(epcOpt);
  app.add_option("--menu", menu, "menu dates, e.g. --menu 2026-12-07:2026-12-11 or today:today+4")
      ->required()->check(Range(today))->type_name("FROM:TO");
  app.add_option("--requests", requests,
                 "purchase-request dates, e.g. --requests today-30:today")
      ->required()->check(Range(today))->type_name("FROM:TO");
  app.add_option("--af", af, "supply-authorisation (AF) dates, e.g. --af 01/12/2026:31/12/2026")
      ->required()->check(Range(today))->type_name("FROM:TO");
  app.add_option("--nutritionist", o.nutritionist,
                 "only the branches this nutritionist serves, e.g. --nutritionist 7")
      ->check(DigitsUpTo(12))->type_name("CODE");
  app.add_option("--branches", branches,
                 "aggregated branches: all (default) or a list, e.g. --branches 0002,0003")
      ->type_name("all|LIST");
  bool wholeTree = false;
  auto* whole = app.add_flag("--whole-tree", wholeTree,
                             "every product, the default; the screen asks to confirm, e.g. --whole-tree --yes");
  auto* active = app.add_flag("--active-only", o.activeOnly, "only active products, e.g. --active-only");
  auto* latestOpt = app.add_option("--latest", latest,
                                   "only products of the latest N purchase requests, e.g. --latest 5")
                        ->check(CLI::NonNegativeNumber)->type_name("N");
  auto* grouping = app.add_option("--grouping", o.grouping,
                                  "only this product grouping, e.g. --grouping 1")
                       ->check(DigitsUpTo(10))->type_name("CODE");
  whole->excludes(active)->excludes(latestOpt)->excludes(grouping);
  app.add_flag("--dry-run", o.dryRun,
               "run the checks, the server call and the derivations and tell per file the rows and "
               "bytes it would write; writes, queues, copies and records nothing, e.g. --dry-run");
  app.add_flag("--yes", o.yes, "answer Yes to the screen's questions (otherwise No), e.g. --yes");
  app.add_flag("--json", o.json,
               "one JSON summary on standard output, messages on standard error, e.g. --json > sum.json");
  app.footer(
      "Example:\n"
      "  kve-export --config site/kve.toml --palm 001 --menu today:today+4 \\\n"
      "             --requests today-30:today --af today-30:today+30 --whole-tree --yes\n"
      "  kve-export --config site/kve.toml --history [ID] [--device 001] [--json]\n"
      "Exit status: 0 exported (also with the AF warning), 1 stopped by a check or a No,\n"
      "2 wrong usage or configuration, 3 the export failed; for several devices the worst of them.");

  CommandLine result;
  const bool parsed = Parse(app, args, result, [&] {
    if (palm.empty() && eeepc.empty()) throw CLI::ValidationError("give --palm CODE or --eeepc CODE");
    if (std::string e = SplitBranches(branches, o.branches); !e.empty()) throw CLI::ValidationError(e);
  });
  if (!parsed) return result;
  o.target = palm.empty() ? Target::Eeepc : Target::Palm;
  o.devices = SplitCodes(palm.empty() ? eeepc : palm);
  o.device = o.devices.front() == "all" ? std::string() : o.devices.front();
  o.menu = ParseRange(menu, today);
  o.requests = ParseRange(requests, today);
  o.af = ParseRange(af, today);
  if (latest >= 0) o.latest = latest;
  result.options = o;
  return result;
}

}  // namespace kve::batch
