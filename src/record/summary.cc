#include "record/summary.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <map>

#include "platform/fs/win_path.h"
#include "platform/common/error.h"
#include "record/hashing_fs.h"
#include "platform/common/ascii.h"
#include "platform/dataset/dataset.h"
#include "platform/dataset/packet_header.h"
#include "platform/instaide/queue_admin.h"
#include "platform/pdb/pdb_format.h"
#include "platform/pdb/pdb_reader.h"

namespace kve::record {

std::string_view EndingName(Ending e) {
  switch (e) {
    case Ending::Exported: return "exported";
    case Ending::Stopped: return "stopped";
    case Ending::Usage: return "usage";
    case Ending::Failed: break;
  }
  return "failed";
}

nlohmann::json ToJson(const Summary& s) {
  nlohmann::json files = nlohmann::json::array();
  for (const FileSummary& f : s.files) {
    files.push_back({{"name", f.name},
                     {"rows", f.rows ? nlohmann::json(*f.rows) : nlohmann::json()},
                     {"bytes", f.bytes}});
    if (!f.sha256.empty()) files.back()["sha256"] = f.sha256;
  }
  nlohmann::json j = {
      {"outcome", EndingName(s.ending)},
      {"exit_status", static_cast<int>(s.ending)},
      {"target", s.target},
      {"device", {{"code", s.deviceCode}, {"name", s.deviceName}}},
      {"folder", s.folder},
      {"files", files},
      {"closing_message", s.closingMessage},
      {"messages", s.messages},
      {"seconds", std::round(s.seconds * 1000) / 1000},
  };
  if (!s.queueUser.empty()) j["queue"] = {{"user", s.queueUser}, {"entries", s.queue}};
  if (!s.problem.empty()) j["problem"] = s.problem;
  if (!s.detail.empty()) j["detail"] = s.detail;
  if (s.dryRun) {
    j["dry_run"] = true;
    j["af_warning"] = s.afWarning;
  }
  if (!s.overPalmLimit.empty()) {
    nlohmann::json tables = nlohmann::json::array();
    for (const TableOverLimit& t : s.overPalmLimit) tables.push_back({{"table", t.table}, {"rows", t.rows}});
    j["palm_record_limit"] = {{"limit", pdb::kMaxRecords}, {"tables_over", tables}};
  }
  if (s.ledgerId) j["ledger"] = {{"id", *s.ledgerId}, {"archive", s.archive}};
  if (!s.notes.empty()) j["notes"] = s.notes;
  return j;
}

void PrintSummary(std::ostream& out, const Summary& s) {
  int64_t rows = 0;
  uint64_t bytes = 0;
  for (const FileSummary& f : s.files) {
    rows += f.rows.value_or(0);
    bytes += f.bytes;
  }
  const std::string_view ending =
      s.dryRun && s.ending == Ending::Exported ? std::string_view("would export") : EndingName(s.ending);
  out << "== " << ending << ": " << (s.target == "palm" ? "Palm" : "eeePC") << " "
      << s.deviceCode << (s.deviceName.empty() ? "" : " \"" + s.deviceName + "\"") << '\n';
  if (!s.problem.empty()) out << "   " << s.problem << '\n';
  for (const TableOverLimit& t : s.overPalmLimit)
    out << "   " << t.table << ": " << t.rows << " rows, over the " << pdb::kMaxRecords
        << " records a Palm database holds\n";
  if (!s.files.empty()) {
    out << "   " << s.files.size() << (s.dryRun ? " files to write in " : " files in ") << s.folder
        << ", " << rows << " rows, " << bytes << " bytes\n";
    // One line per table: its files (XML and Palm database, or data packet) side by side.
    std::vector<std::pair<std::string, std::vector<const FileSummary*>>> tables;
    for (const FileSummary& f : s.files) {
      std::string base = AsciiUppered(f.name.substr(0, f.name.rfind('.')));
      if (tables.empty() || tables.back().first != base) tables.push_back({base, {}});
      tables.back().second.push_back(&f);
    }
    for (const auto& [base, files] : tables) {
      std::optional<int64_t> tableRows;
      for (const FileSummary* f : files) tableRows = tableRows ? tableRows : f->rows;
      out << "     " << std::left << std::setw(14) << base << std::right << std::setw(7)
          << (tableRows ? std::to_string(*tableRows) : "-") << " rows";
      for (const FileSummary* f : files) {
        out << "  " << std::left << std::setw(5) << f->name.substr(f->name.rfind('.') + 1)
            << std::right << std::setw(9) << f->bytes << " B";
      }
      out << '\n';
    }
  }
  if (!s.queueUser.empty()) {
    out << "   install queue of \"" << s.queueUser << "\": " << s.queue.size()
        << (s.dryRun ? " entries to queue\n" : " entries\n");
  }
  if (s.dryRun && s.ending == Ending::Exported) {
    out << "   AF warning: " << (s.afWarning ? "would show" : "would not show") << '\n';
  }
  if (!s.closingMessage.empty()) out << "   closing message: " << s.closingMessage << '\n';
  if (s.ledgerId) {
    out << "   ledger: entry " << *s.ledgerId
        << (s.archive.empty() ? ", no copy of the files kept" : ", files kept in " + s.archive) << '\n';
  }
  for (const std::string& n : s.notes) out << "   note: " << n << '\n';
  out << "   " << std::fixed << std::setprecision(2) << s.seconds << " s\n";
  out.unsetf(std::ios::fixed);
}

std::optional<int64_t> RowsOfFile(std::string_view name, const std::string& bytes) {
  return RowsOfBytes(bytes).For(name);
}

std::optional<int64_t> FileRows::For(std::string_view name) const {
  return isPdb && AsciiLowered(name).ends_with(".pdb") ? pdb : packet;
}

FileRows RowsOfBytes(std::string_view bytes) {
  // A file that does not read back counts no rows; its bytes are still listed.
  FileRows r;
  r.isPdb = pdb::IsPdb(bytes);
  if (r.isPdb) {
    try {
      r.pdb = pdb::PdbFile::Parse(std::string(bytes), "").RecordCount();
    } catch (const std::exception&) {
    }
  }
  try {
    if (IsDataPacket(bytes)) {
      PacketHeader h = ReadPacketHeader(bytes);
      if (h.recordCount >= 0) {
        r.packet = h.recordCount;
      } else {
        TClientDataSet ds("");
        ds.SetData(bytes);
        r.packet = ds.RecordCount();
      }
    }
  } catch (const std::exception&) {
  }
  return r;
}

std::vector<FileSummary> WrittenFiles(FileSystem& fs, std::string_view folder,
                                      std::chrono::system_clock::time_point since,
                                      const FileVisitor& visit) {
  std::vector<FileSummary> out;
  if (folder.empty() || !fs.DirectoryExists(folder)) return out;
  std::string dir(folder);
  if (dir.back() != '\\') dir += '\\';
  return WrittenFiles(fs, folder, since, fs.ListFiles(dir, "*"), visit);
}

std::vector<FileSummary> WrittenFiles(FileSystem& fs, std::string_view folder,
                                      std::chrono::system_clock::time_point since,
                                      const std::vector<std::string>& names, const FileVisitor& visit) {
  std::vector<FileSummary> out;
  if (folder.empty() || !fs.DirectoryExists(folder)) return out;
  std::string dir(folder);
  if (dir.back() != '\\') dir += '\\';
  // In the folder's listing order, each name once.
  std::vector<std::string> sorted = names;
  SortNamesWithoutCase(sorted);
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  // The sizes of the files as they are now, in one listing, for the files written through
  // `visit.written`: one request for the folder instead of reading every file back.
  std::map<std::string, uint64_t> sizes;  // by lower-case name
  if (visit.written) {
    try {
      for (const FolderEntry& e : fs.ListEntries(dir))
        if (e.kind == FolderEntry::Kind::kFile) sizes[AsciiLowered(e.name)] = e.bytes;
    } catch (const Error&) {
      sizes.clear();  // no listing: every file is read back
    }
  }
  for (const std::string& name : sorted) {
    // A name the run did not get to, or a file it left as it was (an eeePC export that
    // failed before its renames), was not written by it.
    const std::string path = dir + name;
    auto when = fs.FileTime(path);
    if (!when || *when < since) continue;
    WrittenFile* known = nullptr;
    if (auto size = sizes.find(AsciiLowered(name)); size != sizes.end())
      known = visit.written->Recall(path, size->second, *when);
    std::string bytes;
    if (known && known->bytes) {
      bytes = std::move(*known->bytes);  // taken: the file system keeps them no longer
      known->bytes.reset();
    } else if (!known || visit.wantsBytes) {
      bytes = fs.ReadFile(path);
      if (known && bytes.size() != known->size) known = nullptr;  // changed since: as read
    }
    out.push_back(known ? FileSummary{name, known->rows.For(name), known->size, known->sha256}
                        : FileSummary{name, RowsOfFile(name, bytes), bytes.size(), {}});
    if (visit) visit.visit(out.back(), bytes, fs.HostPath(path));
  }
  return out;
}

std::vector<std::string> QueueEntries(const std::filesystem::path& root, const std::string& user) {
  std::vector<std::string> out;
  std::error_code ec;
  if (!std::filesystem::is_directory(root, ec)) return out;
  for (const UserQueue& q : ListQueues(root)) {
    if (q.user != user || !q.refused.empty()) continue;
    for (const QueuedFile& f : q.entries) out.push_back(f.name);
  }
  return out;
}

std::vector<std::string> QueueEntries(FileSystem& fs, std::string_view shareRoot, const std::string& user) {
  const std::string install = std::string(shareRoot) + "\\" + user + "\\Install\\";
  if (!fs.DirectoryExists(install)) return {};
  std::vector<std::string> out = fs.ListFiles(install, "*");
  // Copies not yet in place carry a name beginning with '.', which a HotSync never installs.
  std::erase_if(out, [](const std::string& n) { return n.starts_with('.'); });
  return out;
}

}  // namespace kve::record
