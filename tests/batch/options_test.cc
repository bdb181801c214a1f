#include <gtest/gtest.h>

#include <sstream>

#include "batch/options.h"
#include "platform/common/error.h"

namespace kve::batch {
namespace {

const TDateTime kToday = *ParseIsoDate("2026-12-07");

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

const std::string kDates = " --menu today:today+4 --requests today-30:today --af 2026-12-01:31/12/2026";

TEST(BatchOptions, DaysReadInEveryForm) {
  struct Case {
    const char* text;
    const char* iso;  // nullptr: refused
  } cases[] = {
      {"2026-12-07", "2026-12-07"}, {"07/12/2026", "2026-12-07"}, {"today", "2026-12-07"},
      {"today+7", "2026-12-14"},    {"today-30", "2026-11-07"},   {"today+25", "2027-01-01"},
      {"2026-02-30", nullptr},      {"31/04/2026", nullptr},      {"today+", nullptr},
      {"today*2", nullptr},         {"tomorrow", nullptr},        {"7/12/2026", nullptr},
      {"", nullptr},                {"today+1234567", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto d = ParseDay(c.text, kToday);
    if (!c.iso) {
      EXPECT_FALSE(d.has_value());
    } else {
      ASSERT_TRUE(d.has_value());
      EXPECT_EQ(FormatIsoDate(*d), c.iso);
    }
  }
}

TEST(BatchOptions, ARangeNeedsTwoDaysAroundOneColon) {
  DateRange r = ParseRange("today-1:07/12/2026", kToday);
  EXPECT_EQ(FormatIsoDate(r.from), "2026-12-06");
  EXPECT_EQ(FormatIsoDate(r.to), "2026-12-07");
  for (const char* bad : {"today", "today:today:today", "today:", "x:today"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ParseRange(bad, kToday), ValueError);
  }
}

TEST(BatchOptions, AFullLineFillsEveryOption) {
  CommandLine cl = ParseCommandLine(
      Words("--config k.toml --eeepc 2 --nutritionist 7 --branches 0002,0003 --active-only "
            "--latest 5 --grouping 12 --yes --json" + kDates),
      kToday);
  ASSERT_TRUE(cl.options) << cl.error;
  const ExportOptions& o = *cl.options;
  EXPECT_EQ(o.configFile, "k.toml");
  EXPECT_EQ(o.target, Target::Eeepc);
  EXPECT_EQ(o.device, "2");
  EXPECT_EQ(o.nutritionist, "7");
  EXPECT_EQ(o.branches, (std::vector<std::string>{"0002", "0003"}));
  EXPECT_TRUE(o.activeOnly);
  EXPECT_EQ(o.latest, 5);
  EXPECT_EQ(o.grouping, "12");
  EXPECT_FALSE(o.WholeTree());
  EXPECT_TRUE(o.yes && o.json);
  EXPECT_EQ(FormatIsoDate(o.menu.to), "2026-12-11");
  EXPECT_EQ(FormatIsoDate(o.requests.from), "2026-11-07");
  EXPECT_EQ(FormatIsoDate(o.af.to), "2026-12-31");

  CommandLine plain = ParseCommandLine(Words("--config k.toml --palm 001" + kDates), kToday);
  ASSERT_TRUE(plain.options);
  EXPECT_EQ(plain.options->target, Target::Palm);
  EXPECT_TRUE(plain.options->WholeTree());
  EXPECT_TRUE(plain.options->branches.empty());
  EXPECT_FALSE(plain.options->yes);
}

TEST(BatchOptions, WrongUsageIsExitTwoWithTheReason) {
  struct Case {
    std::string line;
    const char* says;
  } cases[] = {
      {"--config k.toml" + kDates, "--palm CODE or --eeepc CODE"},
      {"--config k.toml --palm 1 --eeepc 2" + kDates, "excludes"},
      {"--config k.toml --palm 0001" + kDates, "\"0001\" is not a device code of 1 to 3 digits"},
      {"--config k.toml --eeepc 2,x" + kDates, "\"x\" is not a device code"},
      {"--config k.toml --palm 1 --nutritionist 7a" + kDates, "\"7a\""},
      {"--config k.toml --palm 1 --whole-tree --grouping 3" + kDates, "excludes"},
      {"--config k.toml --palm 1 --latest -2" + kDates, "--latest"},
      {"--config k.toml --palm 1 --branches 0002,,0003" + kDates, "--branches"},
      {"--config k.toml --palm 1 --branches 00002" + kDates, "\"00002\" is not a branch code"},
      {"--config k.toml --palm 1 --menu today --requests today:today --af today:today",
       "\"today\" is not FROM:TO"},
      {"--config k.toml --palm 1 --menu 2026-13-01:today --requests today:today --af today:today",
       "\"2026-13-01\" is not a date"},
      {"--palm 1" + kDates, "--config"},
      {"--config k.toml --palm 1 --frobnicate" + kDates, "frobnicate"},
      {"--config k.toml --history 0", "\"0\" is not an export number (a whole number from 1"},
      {"--config k.toml --history -1", "is not an export number"},
      {"--config k.toml --history abc", "\"abc\" is not an export number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    CommandLine cl = ParseCommandLine(Words(c.line), kToday);
    EXPECT_FALSE(cl.options);
    EXPECT_FALSE(cl.history);
    EXPECT_EQ(cl.exitStatus, 2);
    EXPECT_NE(cl.error.find(c.says), std::string::npos) << cl.error;
  }
}

TEST(BatchOptions, HelpListsEveryOptionWithAnExample) {
  CommandLine cl = ParseCommandLine({"--help"}, kToday);
  EXPECT_FALSE(cl.options);
  EXPECT_EQ(cl.exitStatus, 0);
  for (const char* opt : {"--config", "--palm", "--eeepc", "--menu", "--requests", "--af",
                          "--nutritionist", "--branches", "--whole-tree", "--active-only",
                          "--latest", "--grouping", "--dry-run", "--yes", "--json"}) {
    SCOPED_TRACE(opt);
    size_t at = cl.output.find(std::string("  ") + opt);
    ASSERT_NE(at, std::string::npos);
    // Each option's own line(s) up to the next option carry an example ("e.g." or "Example").
    size_t next = cl.output.find("\n  --", at + 3);
    std::string part = cl.output.substr(at, next == std::string::npos ? std::string::npos : next - at);
    EXPECT_NE(part.find("e.g. " + std::string(opt)), std::string::npos) << part;
  }
  EXPECT_NE(cl.output.find("Exit status: 0 exported"), std::string::npos);
}

}  // namespace
}  // namespace kve::batch
