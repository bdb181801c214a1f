// kve-demo: until the export run exists, shows the table files it will write. Generates a
// withdrawal forecast, writes it as XML and binary data packets, reads both back and checks
// they hold the same table.
#include <filesystem>
#include <iostream>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "platform/dataset/dataset.h"
#include "platform/dataset/demo_table.h"
#include "platform/dataset/inspect.h"
#include "server_round.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a demo withdrawal forecast in both data packet forms and reads it back."};
  std::string out = "demo/out";
  int rows = 1000;
  app.add_option("--out", out, "folder for PREVRETI.xml and PREVRETI.cds")->capture_default_str();
  app.add_option("--rows", rows, "rows to generate")->check(CLI::Range(0, 10'000'000))->capture_default_str();
  std::string server;
  app.add_option("--server", server, "then fetch the export tables from this application server (HOST:PORT)");
  CLI11_PARSE(app, argc, argv);

  try {
    namespace fs = std::filesystem;
    fs::create_directories(out);
    kve::TClientDataSet table("PREVRETI");
    kve::FillPrevReti(table, rows);
    const std::string expected = table.Data();

    bool same = true;
    for (auto [ext, form] : {std::pair{"xml", kve::DataPacketFormat::Xml},
                             std::pair{"cds", kve::DataPacketFormat::Binary}}) {
      const fs::path file = fs::path(out) / fmt::format("PREVRETI.{}", ext);
      table.SaveToFile(file, form);
      kve::TClientDataSet back("PREVRETI");
      back.LoadFromFile(file);
      const bool ok = back.FieldDefs() == table.FieldDefs() && back.Data() == expected;
      same = same && ok;
      std::cout << fmt::format("wrote {} ({} rows, {} bytes), read back: {}\n", file.string(),
                               back.RecordCount(), fs::file_size(file), ok ? "same table" : "DIFFERENT");
    }
    std::cout << "\nfirst rows:\n";
    kve::TClientDataSet shown("PREVRETI");
    shown.LoadFromFile(fs::path(out) / "PREVRETI.cds");
    kve::PrintDataPacket(std::cout, "PREVRETI.cds", kve::ReadPacketHeader(expected), shown,
                         kve::InspectOptions{kve::InspectFormat::Text, 3});
    if (!same) return 1;
    return server.empty() ? 0 : RunServerRound(server, out);
  } catch (const std::exception& e) {
    std::cerr << "kve-demo: " << e.what() << "\n";
    return 1;
  }
}
