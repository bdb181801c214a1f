#include "batch/run.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "batch/driver.h"
#include "batch/dry_run.h"
#include "record/hashing_fs.h"
#include "record/history.h"
#include "batch/server_links.h"
#include "eeepc/epc_device.h"
#include "platform/instaide/install_aide.h"
#include "export/export_reuse.h"

namespace kve::batch {

std::vector<std::string> DevicesOfCentral(Database& db, const std::string& central, Target target) {
  TADOIBQuery q(db, "qryPalm");
  q.SetSQL(eeepc::DeviceListSql());
  eeepc::OpenDeviceList(q, central, target == Target::Palm ? eeepc::kTypePalm : eeepc::kTypeEpc);
  std::vector<std::string> codes;
  for (q.First(); !q.Eof(); q.Next()) codes.push_back(q.FieldByName("CDPALM").AsString());
  return codes;
}

int RunExports(const ExportOptions& o, Site& site, std::ostream& out, std::ostream& err, bool tty) {
  const maker::HostConfig& config = site.Config();
  const char* kind = o.target == Target::Palm ? "Palm" : "eeePC";
  std::vector<std::string> devices = o.devices.empty() ? std::vector<std::string>{o.device} : o.devices;
  const bool all = devices == std::vector<std::string>{"all"};
  if (all) {
    try {
      devices = DevicesOfCentral(*site.db, config.branch, o.target);
    } catch (const std::exception& e) {
      err << "kve-export: listing the " << kind << "s of central " << config.branch << ": " << e.what() << '\n';
      return static_cast<int>(record::Ending::Failed);
    }
    if (devices.empty()) {
      err << "kve-export: central kitchen " << config.branch << " has no " << kind << '\n';
      return static_cast<int>(record::Ending::Usage);
    }
  }

  // A dry run records nothing, locally or on the server.
  std::unique_ptr<ledger::Ledger> ledger;
  std::string ledgerProblem;
  if (!o.dryRun) {
    try {
      ledger = std::make_unique<ledger::Ledger>(config.data_dir);
    } catch (const std::exception& e) {
      ledgerProblem = std::string("the export ledger: ") + e.what();
    }
  }
  FetchOnceLink fetchOnce(*site.server);
  std::optional<DryRun> dry;
  if (o.dryRun) dry.emplace(*site.files, *site.installAide, fetchOnce);
  ServerLink& link = dry ? dry->Server() : fetchOnce;
  // The export's files are hashed and counted for the ledger as they are written; a file on a
  // share keeps its bytes too, for the ledger's copy, when copies are kept.
  record::HashingFileSystem hashing(*site.files, config.ledger_keep > 0);
  FileSystem& files = dry ? dry->Files() : ledger ? static_cast<FileSystem&>(hashing) : *site.files;
  InstallAide& aide = dry ? dry->Queue() : *site.installAide;
  const std::optional<std::string> queueShare = ShareQueueRootOf(config.hotsync_root);
  QueueLister queueOf = [&](const std::string& user) {
    if (dry) return dry->Queued(user);
    return queueShare ? record::QueueEntries(site.QueueFiles(), *queueShare, user)
                      : record::QueueEntries(config.hotsync_root, user);
  };

  // Devices after the first write the files the first encoded from the same tables.
  exporting::ExportReuse reuse;
  std::ostream& messages = o.json ? err : out;
  std::vector<record::Summary> summaries;
  // The last device's kept copy, still removing the older copies beside the next export.
  std::unique_ptr<ledger::ArchiveWriter> previous;
  for (const std::string& code : devices) {
    ExportOptions one = o;
    one.device = code;
    TerminalDialogs dialogs(messages, o.yes, o.branches);
    ProgressView progress(err, tty);
    ExpDadosServices svc{*site.db, link, dialogs, files, *site.registry, progress, aide, {}};
    if (devices.size() > 1) svc.reuse = &reuse;
    auto copy = std::make_unique<ledger::ArchiveWriter>(ledger ? ledger->Folder() : std::filesystem::path());
    record::LedgerTake take(*copy, config.ledger_keep > 0, &hashing);
    record::FileVisitor keep;
    if (ledger) keep = take.Visitor();
    record::Summary s = RunExport(one, svc, dialogs, progress, queueOf, keep);
    if (!ledgerProblem.empty()) s.notes.push_back(ledgerProblem);
    // The operator read the screen's words; whoever reads the log gets what lay behind them.
    if (!s.detail.empty()) err << "kve-export: " << kind << " " << s.deviceCode << ": " << s.detail << '\n';
    record::RecordInLedger(ledger.get(), take, one, config, s);
    hashing.Clear();  // the bytes kept of this device's files
    if (!o.json) record::PrintSummary(out, s);
    summaries.push_back(std::move(s));
    previous = std::move(copy);
  }

  record::Ending worst = record::Ending::Exported;
  std::vector<std::string> failed;
  for (const record::Summary& s : summaries) {
    worst = std::max(worst, s.ending);
    if (s.ending != record::Ending::Exported) failed.push_back(s.deviceCode + " (" + std::string(record::EndingName(s.ending)) + ")");
  }
  const bool many = all || summaries.size() > 1;
  if (o.json) {
    if (!many) {
      out << record::ToJson(summaries.front()).dump(2) << '\n';
    } else {
      nlohmann::json list = nlohmann::json::array();
      for (const record::Summary& s : summaries) list.push_back(record::ToJson(s));
      out << nlohmann::json{{"outcome", record::EndingName(worst)},
                            {"exit_status", static_cast<int>(worst)},
                            {"not_exported", failed},
                            {"exports", list}}
                 .dump(2)
          << '\n';
    }
  } else if (many) {
    out << "== " << summaries.size() << " " << kind << "s: " << summaries.size() - failed.size()
        << (o.dryRun ? " would export" : " exported");
    if (!failed.empty()) {
      out << "; not exported:";
      for (const std::string& f : failed) out << ' ' << f;
    }
    out << '\n';
  }
  return static_cast<int>(worst);
}

namespace {

// The entry's copy as a path of this host, or "" when it is no longer kept.
void KeptFolder(const ledger::Ledger& ledger, ledger::LedgerEntry& e) {
  if (e.archive.empty()) return;
  std::error_code ec;
  const std::filesystem::path p = ledger.Folder() / e.archive;
  e.archive = std::filesystem::is_directory(p, ec) ? p.string() : std::string();
}

}  // namespace

int ShowHistory(const HistoryQuery& q, const maker::HostConfig& c, std::ostream& out, std::ostream& err) {
  try {
    std::error_code ec;
    if (!q.id && !std::filesystem::exists(std::filesystem::path(c.data_dir) / "ledger" / "ledger.db", ec)) {
      if (q.json)
        out << "[]\n";
      else
        record::PrintHistory(out, {});
      return 0;
    }
    ledger::Ledger ledger(c.data_dir, true);
    if (q.id) {
      std::optional<ledger::LedgerEntry> e = ledger.Get(*q.id);
      if (!e) {
        err << "kve-export: the ledger " << (ledger.Folder() / "ledger.db").string() << " has no export "
            << *q.id << '\n';
        return 1;
      }
      KeptFolder(ledger, *e);
      if (q.json)
        out << ledger::ToJson(*e).dump(2) << '\n';
      else
        record::PrintEntry(out, *e);
      return 0;
    }
    // Codes are recorded as the screen pads them: "1" is "001".
    std::string device = q.device;
    if (!device.empty() && device.size() < 3 && device.find_first_not_of("0123456789") == std::string::npos)
      device.insert(0, 3 - device.size(), '0');
    std::vector<ledger::LedgerEntry> entries = ledger.List(device);
    for (auto& e : entries) KeptFolder(ledger, e);
    if (q.json) {
      nlohmann::json list = nlohmann::json::array();
      for (const auto& e : entries) list.push_back(ledger::ToJson(e));
      out << list.dump(2) << '\n';
    } else {
      record::PrintHistory(out, entries);
    }
    return 0;
  } catch (const std::exception& e) {
    err << "kve-export: " << e.what() << '\n';
    return static_cast<int>(record::Ending::Failed);
  }
}

}  // namespace kve::batch
