// The demo's second half: the real server link, packets and Palm conversion on the demo
// database, until the screen's export run drives them itself.
#include "server_round.h"

#include <filesystem>
#include <iostream>
#include <vector>

#include <fmt/format.h>

#include "export/catalogue.h"
#include "palm/pdb_conversion.h"
#include "palm/progress.h"
#include "platform/common/error.h"
#include "platform/dataset/dataset.h"
#include "platform/net/net_connection.h"

namespace fs = std::filesystem;
using namespace kve;

namespace {

// The demo database is built around today: the previous month and the current one.
std::vector<RemoteArg> DemoArguments(std::string& lista, std::string& nrSolic, std::string& status) {
  const TDateTime today = TDateTime::Now();
  const CivilDate d = today.date();
  const CivilDate first = d.month == 1 ? CivilDate{d.year - 1, 12, 1} : CivilDate{d.year, d.month - 1, 1};
  const CivilDate last = d.month == 12 ? CivilDate{d.year, 12, 31}
                                       : DateOfDay(DayNumber({d.year, d.month + 1, 1}) - 1);
  const TDateTime from = TDateTime::FromDate(first), to = TDateTime::FromDate(last);
  return {RemoteArg::Value("0001"),     RemoteArg::ByRef(lista),   RemoteArg::OfDate(from),
          RemoteArg::OfDate(to),        RemoteArg::OfDate(from),   RemoteArg::OfDate(to),
          RemoteArg::OfDate(from),      RemoteArg::OfDate(to),     RemoteArg::Value("4"),
          RemoteArg::ByRef(nrSolic),    RemoteArg::ByRef(status),  RemoteArg::Value(""),
          RemoteArg::Value("000000000007")};
}

uintmax_t SizeOr0(const fs::path& p) {
  std::error_code ec;
  const auto n = fs::file_size(p, ec);
  return ec ? 0 : n;
}

}  // namespace

int RunServerRound(const std::string& endpoint, const std::string& outDir) {
  try {
    const size_t colon = endpoint.rfind(':');
    if (colon == std::string::npos) throw Error("--server: expected HOST:PORT, got '" + endpoint + "'");
    TNetConnection link;
    link.SetServerName("Kve07000.rdmExpDados");
    link.SetHost(endpoint.substr(0, colon));
    link.SetPort(std::stoi(endpoint.substr(colon + 1)));
    link.SetConnected(true);

    std::string lista, nrSolic = "5", status = "T";
    std::vector<RemoteArg> args = DemoArguments(lista, nrSolic, status);
    const RemoteValue answer = link.Call("GetTabelas", args);
    if (answer.isText()) throw Error("server: " + std::get<std::string>(answer.value));
    const auto& images = std::get<std::vector<std::string>>(answer.value);
    std::cout << fmt::format("\nGetTabelas from {}: {} tables, {} bytes on the wire; branches {}\n",
                             link.Endpoint(), images.size(), link.LastCall().replyBytes, lista);

    const fs::path palm = fs::path(outDir) / "palm", eeepc = fs::path(outDir) / "eeepc";
    fs::create_directories(palm);
    fs::create_directories(eeepc);
    const auto slots = exporting::SlotOrder();
    if (images.size() < slots.size())
      throw FormatError(fmt::format("server answered {} tables, expected {}", images.size(), slots.size()));
    std::vector<std::unique_ptr<TClientDataSet>> tables;
    for (size_t i = 0; i < slots.size(); ++i) {
      auto ds = std::make_unique<TClientDataSet>(std::string(slots[i]->table));
      ds->SetData(images[i]);
      if (!slots[i]->palmXml.empty()) ds->SaveToFile(palm / slots[i]->palmXml, DataPacketFormat::Xml);
      if (!slots[i]->eeepcFile.empty()) ds->SaveToFile(eeepc / slots[i]->eeepcFile, DataPacketFormat::Binary);
      tables.push_back(std::move(ds));
    }
    palm::NoProgress progress;
    palm::ConvertXmlFolder(palm, progress);

    std::cout << fmt::format("{:>4} {:<14} {:>7} {:>10} {:>10} {:>10}\n", "slot", "table", "rows",
                             "xml", "pdb", "cds");
    for (size_t i = 0; i < slots.size(); ++i) {
      const auto& t = *slots[i];
      const fs::path xml = palm / t.palmXml;
      std::cout << fmt::format("{:>4} {:<14} {:>7} {:>10} {:>10} {:>10}\n", i, t.table,
                               tables[i]->RecordCount(), SizeOr0(xml),
                               SizeOr0(fs::path(xml).replace_extension(".pdb")),
                               t.eeepcFile.empty() ? 0 : SizeOr0(eeepc / t.eeepcFile));
    }
    std::cout << fmt::format("\nfiles in {} and {} (PREVRETI.pdb has a layout of its own and is "
                             "written by the export run)\n", palm.string(), eeepc.string());
    link.SetConnected(false);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "kve-demo: " << e.what() << "\n";
    return 1;
  }
}
