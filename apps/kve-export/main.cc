// kve-export: the data export of the central kitchen from a shell or a timer. The export
// screen runs headless: its controls are filled as an operator would fill them, Export is
// pressed, every message is printed and every question answered as the command line says.
// kve-export --help lists the options.

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "batch/driver.h"
#include "batch/options.h"
#include "host/site.h"
#include "platform/common/error.h"

namespace {

int Usage(const std::string& text) {
  std::cerr << "kve-export: " << text << '\n';
  return static_cast<int>(kve::batch::Ending::Usage);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kve;
  using namespace kve::batch;
  std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine cl = ParseCommandLine(args, TDateTime::Now());
  std::cout << cl.output;
  std::cerr << cl.error;
  if (!cl.options) return cl.exitStatus;
  const ExportOptions& o = *cl.options;

  maker::HostConfig config;
  try {
    config = maker::LoadConfig(o.configFile);
  } catch (const Error& e) {
    return Usage(e.what());
  }
  std::unique_ptr<Site> site;
  try {
    site = std::make_unique<Site>(config);
  } catch (const Error& e) {
    return Usage(std::string("configuration ") + o.configFile + ": " + e.what());
  }

  // With --json standard output carries the summary alone.
  std::ostream& out = o.json ? std::cerr : std::cout;
  TerminalDialogs dialogs(out, o.yes, o.branches);
  ProgressView progress(std::cerr, isatty(STDERR_FILENO) != 0);
  ExpDadosServices services = site->Services(dialogs, progress);
  maker::ServicesScope scope(site->maker);

  Summary summary = RunExport(o, services, dialogs, progress, [&](const std::string& user) {
    return QueueEntries(site->Config().hotsync_root, user);
  });
  if (o.json) {
    std::cout << ToJson(summary).dump(2) << '\n';
  } else {
    PrintSummary(std::cout, summary);
  }
  return static_cast<int>(summary.ending);
}
