// kve-demo: writes the demo workstation of central kitchen 0001 (demo/demo_site.h) into one
// folder, for kve-export and the host to run on.
//   kve-demo --site demo/out/site --db sqlite:demo/out/kve-demo.db --server 127.0.0.1:8211

#include <iostream>

#include <CLI/CLI.hpp>

#include "demo/demo_site.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes the demo workstation: configuration, registry file, drive C:, HotSync "
               "queue root and the eeePC's shared folder."};
  kve::demo::DemoSiteOptions o;
  std::string site = "demo/out/site", server = "127.0.0.1:8211";
  app.add_option("--site", site, "folder of the site (replaced as a whole)")->capture_default_str();
  app.add_option("--db", o.databaseUrl, "host database, e.g. sqlite:demo/out/kve-demo.db")->required();
  app.add_option("--server", server, "application server HOST:PORT")->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  size_t colon = server.rfind(':');
  try {
    if (colon == std::string::npos) throw std::invalid_argument("");
    o.serverHost = server.substr(0, colon);
    o.serverPort = std::stoi(server.substr(colon + 1));
  } catch (const std::exception&) {
    std::cerr << "kve-demo: --server \"" << server << "\" is not HOST:PORT\n";
    return 2;
  }
  o.folder = site;
  try {
    std::filesystem::path config = kve::demo::WriteDemoSite(o);
    std::cout << "site " << site << ": configuration " << config.string() << "\n"
              << "  registry.reg        PALMDir C:\\Palm, UninstallPath C:\\Orvanta\n"
              << "  drive_c/            C:\\Palm\\Kve\\{Exp,Bin}, C:\\Orvanta\\Bin\\Client (RDL.exe 4.2.0.7 and 7 packages)\n"
              << "  hotsync/            HotSync user \"" << kve::demo::kDemoHotSyncUser << "\"\n"
              << "  shares/             \\\\" << kve::demo::kDemoEeepc
              << "\\Orvanta Web (RDL.exe 4.1.0.3 on the eeePC)\n";
  } catch (const std::exception& e) {
    std::cerr << "kve-demo: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
