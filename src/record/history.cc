#include "record/history.h"

#include <iomanip>
#include <memory>
#include <system_error>

namespace kve::record {
namespace {

nlohmann::json Range(const DateRange& r) { return {FormatIsoDate(r.from), FormatIsoDate(r.to)}; }

}  // namespace

ledger::LedgerEntry EntryOf(const ExportOptions& o, const Summary& s, const maker::HostConfig& c) {
  ledger::LedgerEntry e;
  e.at = ledger::NowUtc();
  e.operatorCode = c.operator_code;
  e.target = s.target;
  e.device = s.deviceCode;
  e.deviceName = s.deviceName;
  e.parameters = {{"menu", Range(o.menu)},
                  {"requests", Range(o.requests)},
                  {"af", Range(o.af)},
                  {"nutritionist", o.nutritionist},
                  {"branches", o.branches.empty() ? nlohmann::json("all") : nlohmann::json(o.branches)},
                  {"whole_tree", o.WholeTree()},
                  {"active_only", o.activeOnly},
                  {"latest", o.latest ? nlohmann::json(*o.latest) : nlohmann::json()},
                  {"grouping", o.grouping},
                  {"central", c.branch}};
  e.server = c.server_host + ":" + std::to_string(c.server_port);
  e.outcome = EndingName(s.ending);
  e.closingMessage = s.closingMessage;
  e.folder = s.folder;
  for (const FileSummary& f : s.files) e.files.push_back({f.name, f.rows, f.bytes, f.sha256});
  e.notes = s.problem.empty() || s.detail.empty() ? s.problem + s.detail : s.problem + "; " + s.detail;
  return e;
}

LedgerTake::~LedgerTake() {
  for (auto& [name, hash] : hashes_)
    if (hash.valid()) hash.wait();
}

FileVisitor LedgerTake::Visitor() {
  auto visit = [this](FileSummary& f, std::string& bytes, const std::optional<std::filesystem::path>& hostPath) {
    if (keepCopy_) {
      if (hostPath)
        copy_.AddDelivered(f.name, *hostPath, bytes);
      else
        copy_.Add(f.name, bytes);
    }
    if (!f.sha256.empty()) return;  // taken as the file was written
    auto taken = std::make_shared<const std::string>(std::move(bytes));
    try {
      hashes_.emplace_back(f.name, std::async(std::launch::async, [taken] { return ledger::Sha256Hex(*taken); }));
    } catch (const std::system_error&) {
      f.sha256 = ledger::Sha256Hex(*taken);  // no thread to be had: here and now
    }
  };
  // The bytes are wanted for the copy only: the hashes of files still as written are known.
  return FileVisitor(visit, written_, keepCopy_);
}

void LedgerTake::Finish(std::vector<FileSummary>& files) {
  for (auto& [name, hash] : hashes_) {
    std::string sha = hash.get();
    for (FileSummary& f : files)
      if (f.name == name) f.sha256 = sha;
  }
  hashes_.clear();
}

void RecordInLedger(ledger::Ledger* ledger, LedgerTake& take, const ExportOptions& o,
                    const maker::HostConfig& c, Summary& s) {
  if (!ledger) return;
  ledger::ArchiveWriter& copy = take.Copy();
  try {
    take.Finish(s.files);
    ledger::LedgerEntry e = EntryOf(o, s, c);
    ledger->Append(e, [&](ledger::LedgerEntry& entry) {
      entry.archive = copy.Commit(entry.id, s.target, s.deviceCode, c.ledger_keep);
      if (!copy.Problem().empty()) entry.notes += (entry.notes.empty() ? "" : "; ") + copy.Problem();
    });
    s.ledgerId = e.id;
    if (!copy.Problem().empty()) s.notes.push_back(copy.Problem());
    if (!e.archive.empty()) s.archive = (ledger->Folder() / e.archive).string();
  } catch (const std::exception& e) {
    s.notes.push_back(std::string("the export ledger: ") + e.what());
  }
}

void PrintHistory(std::ostream& out, const std::vector<ledger::LedgerEntry>& entries) {
  if (entries.empty()) {
    out << "The ledger holds no export.\n";
    return;
  }
  out << std::left << std::setw(6) << "ID" << std::setw(22) << "WHEN (UTC)" << std::setw(8) << "TARGET"
      << std::setw(8) << "DEVICE" << std::setw(10) << "OUTCOME" << std::setw(7) << "FILES" << "KEPT\n";
  for (const ledger::LedgerEntry& e : entries) {
    out << std::setw(6) << e.id << std::setw(22) << e.at << std::setw(8) << e.target << std::setw(8)
        << e.device << std::setw(10) << e.outcome << std::setw(7) << e.files.size()
        << (e.archive.empty() ? "no" : "yes") << '\n';
  }
  out << std::right;
}

void PrintEntry(std::ostream& out, const ledger::LedgerEntry& e) {
  out << "export " << e.id << ", " << e.at << ", " << e.outcome << '\n'
      << "  operator " << e.operatorCode << ", server " << e.server << '\n'
      << "  " << e.target << " " << e.device << (e.deviceName.empty() ? "" : " \"" + e.deviceName + "\"")
      << ", folder " << e.folder << '\n'
      << "  parameters " << e.parameters.dump() << '\n';
  if (!e.closingMessage.empty()) out << "  closing message: " << e.closingMessage << '\n';
  if (!e.notes.empty()) out << "  note: " << e.notes << '\n';
  out << "  files kept: " << (e.archive.empty() ? "none" : e.archive) << '\n';
  for (const ledger::LedgerFile& f : e.files) {
    out << "  " << std::left << std::setw(18) << f.name << std::right << std::setw(8)
        << (f.rows ? std::to_string(*f.rows) : "-") << " rows " << std::setw(10) << f.bytes << " B  "
        << f.sha256 << '\n';
  }
}

}  // namespace kve::record
