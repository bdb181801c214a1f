#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "batch/driver.h"
#include "support/expdados_world.h"
#include "support/pe_image.h"

namespace kve::batch {
namespace {

using record::Ending;
using record::Summary;

const TDateTime kToday = *ParseIsoDate("2026-12-07");
const std::string kDates = " --menu today:today+4 --requests today-30:today --af today-30:today";

ExportOptions Options(const std::string& line) {
  std::istringstream in("--config unused " + line + kDates);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  CommandLine cl = ParseCommandLine(words, kToday);
  EXPECT_TRUE(cl.options) << cl.error;
  return *cl.options;
}

// The export screen's world of the model tests, faced by the terminal.
struct BatchWorld : testing::ExpDadosWorld {
  using ExpDadosWorld::ExpDadosWorld;
  Summary Run(const ExportOptions& o) {
    TerminalDialogs terminal(out, o.yes, o.branches);
    ProgressView progress(out, false);
    ExpDadosServices svc{*db, server, terminal, *files, registry, progress, installAide, {}};
    return RunExport(o, svc, terminal, progress);
  }
  std::ostringstream out;
};

TEST(BatchDriver, AFailedFieldCheckStopsBeforeTheExportWithTheScreensMessage) {
  struct Case {
    const char* line;
    Ending ending;
    std::vector<std::string> messages;
    const char* problem;
  } cases[] = {
      {"--eeepc 2 --nutritionist 99", Ending::Stopped, {"Nutricionista não cadastrado."}, ""},
      {"--eeepc 9", Ending::Stopped, {"eeePc não cadastrado."}, ""},
      {"--eeepc 2 --branches 0002,0099", Ending::Stopped, {}, "0099 is not in the list"},
      // The fake server has no answer: the grouping check's call fails with an error.
      {"--eeepc 2 --grouping 5", Ending::Failed, {"GetAgrupProd: the test gave no answer"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    BatchWorld w;
    Summary s = w.Run(Options(c.line));
    EXPECT_EQ(s.ending, c.ending);
    EXPECT_EQ(s.messages, c.messages) << w.out.str();
    if (*c.problem == '\0') {
      EXPECT_EQ(s.problem, "");
    } else {
      EXPECT_NE(s.problem.find(c.problem), std::string::npos) << s.problem;
    }
    for (const auto& call : w.server.calls) EXPECT_NE(call.method, "GetTabelas");
  }
}

TEST(BatchDriver, ABranchThatIsNoCentralKitchenIsAConfigurationError) {
  BatchWorld w("0004");
  Summary s = w.Run(Options("--eeepc 2"));
  EXPECT_EQ(s.ending, Ending::Usage);
  EXPECT_NE(s.problem.find("host.branch"), std::string::npos);
  ASSERT_EQ(s.messages.size(), 1u);
  EXPECT_NE(s.messages[0].find("não está ligada a uma central"), std::string::npos);
}

TEST(BatchDriver, EveryOptionReachesTheServerThroughTheScreensControls) {
  BatchWorld w;
  // An eeePC that can take an export, so the run gets as far as its one server call.
  w.registry.Set("Software\\ORVANTA\\Sistemas Integrados Orvanta", "UninstallPath", "C:\\Orvanta");
  for (const char* d : {"C:\\Orvanta", "C:\\Orvanta\\Bin", "C:\\Orvanta\\Bin\\Client"}) w.files->CreateDir(d);
  for (const char* f : {"RDL.exe", "_kas.bpl", "_kel.bpl", "_kin.bpl", "_kor.bpl", "_kup.bpl",
                        "_kav.bpl", "_kyt.bpl"}) {
    w.files->WriteFile(std::string("C:\\Orvanta\\Bin\\Client\\") + f, testing::PeImage(4, 2, 0, 7));
  }
  w.files->CreateDir("\\\\NOTE-KITCHEN-01\\Orvanta Web");
  w.server.answer = [](const std::string& method, std::vector<RemoteArg>&) {
    if (method == "GetAgrupProd") {
      return testing::TablePacket({{"CDGRUPPROD", 10}, {"NMGRUPPROD", 40}}, {{"0000000012", "HORTIFRUTI"}});
    }
    return testing::TextAnswer("Sem dados para exportar.");
  };

  Summary s = w.Run(Options("--eeepc 2 --nutritionist 10 --branches 0002 --active-only --latest 3 "
                            "--grouping 12"));
  EXPECT_EQ(s.ending, Ending::Failed) << w.out.str();
  EXPECT_EQ(s.deviceName, "NOTE-KITCHEN-01");
  EXPECT_NE(std::find(s.messages.begin(), s.messages.end(), "Sem dados para exportar."),
            s.messages.end());
  const testing::FakeServerLink::CallRecord* call = nullptr;
  for (const auto& c : w.server.calls) {
    if (c.method == "GetTabelas") call = &c;
  }
  ASSERT_NE(call, nullptr) << w.out.str();
  EXPECT_EQ(call->args, (std::vector<std::string>{"0001", "_0002", "07/12/2026", "11/12/2026",
                                                  "07/11/2026", "07/12/2026", "07/11/2026",
                                                  "07/12/2026", "4", "3", "A", "0000000012", ""}));
}

}  // namespace
}  // namespace kve::batch
