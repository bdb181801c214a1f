// kve-export: the data export of the central kitchen from a shell or a timer. The export
// screen runs headless: its controls are filled as an operator would fill them, Export is
// pressed, every message is printed and every question answered as the command line says.
// Each export is recorded in the workstation's export ledger (--history lists it).
// kve-export --help lists the options.

#include <unistd.h>

#include <iostream>

#include "batch/run.h"
#include "record/summary.h"
#include "platform/common/error.h"

namespace {

int Usage(const std::string& text) {
  std::cerr << "kve-export: " << text << '\n';
  return static_cast<int>(kve::record::Ending::Usage);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kve;
  using namespace kve::batch;
  std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine cl = ParseCommandLine(args, TDateTime::Now());
  std::cout << cl.output;
  std::cerr << cl.error;
  if (!cl.options && !cl.history) return cl.exitStatus;
  const std::string& configFile = cl.options ? cl.options->configFile : cl.history->configFile;

  maker::HostConfig config;
  try {
    config = maker::LoadConfig(configFile);
  } catch (const Error& e) {
    return Usage(e.what());
  }
  if (cl.history) return ShowHistory(*cl.history, config, std::cout, std::cerr);

  std::unique_ptr<Site> site;
  try {
    site = std::make_unique<Site>(config);
  } catch (const Error& e) {
    return Usage(std::string("configuration ") + configFile + ": " + e.what());
  }
  maker::ServicesScope scope(site->maker);
  return RunExports(*cl.options, *site, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
