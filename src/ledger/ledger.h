#pragma once
// The export ledger of a workstation: one record per export run, successful or not, in a
// SQLite file of the data folder, and a copy of the last exports' files of each device beside
// it, so that support staff can tell what was sent, when and by whom, compare two exports and
// resend one.
//
//   <data folder>/ledger/ledger.db                    the table below
//   <data folder>/ledger/files/<target>-<device>/<id>/ the files of export <id>, as written
//
// Neither lives in a device's export folder or in a HotSync queue, so nothing a device reads
// changes. The table (one row per export; docs/export-ledger.md describes every column):
//
//   CREATE TABLE export_ledger (
//     id INTEGER PRIMARY KEY AUTOINCREMENT, at TEXT, operator TEXT, target TEXT,
//     device TEXT, device_name TEXT, parameters TEXT, server TEXT, outcome TEXT,
//     closing_message TEXT, folder TEXT, files TEXT, archive TEXT, notes TEXT)
//
// Several processes may append at once (SQLite locks the file; a writer waits for a busy
// one). The file is in write-ahead-log mode: an entry costs one sync of the log. Errors raise
// IoError naming the ledger file.
//
// Export numbers only grow: a new one is greater than every number recorded and every kept
// folder's number, so a ledger file lost and made anew never gives an old kept folder's
// number to a new export.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace kve {
class Database;
}

namespace kve::ledger {

// The SHA-256 of `bytes`, in lower-case hexadecimal.
std::string Sha256Hex(std::string_view bytes);

struct LedgerFile {
  std::string name;
  std::optional<int64_t> rows;  // records of a data packet or Palm database
  uint64_t bytes = 0;
  std::string sha256;
};

struct LedgerEntry {
  int64_t id = 0;         // given by Append
  std::string at;         // UTC, "2026-12-07T10:15:02Z"
  std::string operatorCode;
  std::string target;     // "palm" or "eeepc"
  std::string device;     // the device code as the screen pads it, "001"
  std::string deviceName;
  nlohmann::json parameters = nlohmann::json::object();  // the export's parameters
  std::string server;     // "host:port"
  std::string outcome;    // "exported", "stopped", "usage", "failed"
  std::string closingMessage;
  std::string folder;     // the export folder as the screen names it
  std::vector<LedgerFile> files;
  std::string archive;    // the kept copy, relative to the ledger folder; empty: none
  std::string notes;      // what went wrong keeping the copy; empty: nothing
};

nlohmann::json ToJson(const LedgerEntry& e);

// The current time as LedgerEntry::at writes it.
std::string NowUtc();

class Ledger {
 public:
  // Opens <dataDir>/ledger/ledger.db, creating the folder, the file and the table when
  // missing. `readOnly` opens an existing ledger for reading and creates nothing: IoError when
  // there is none.
  explicit Ledger(const std::filesystem::path& dataDir, bool readOnly = false);
  // The same on a connection the caller opened to <dataDir>/ledger/ledger.db (a test's
  // failing double around one); `db` must outlive the ledger.
  Ledger(const std::filesystem::path& dataDir, Database& db, bool readOnly = false);
  ~Ledger();
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;

  const std::filesystem::path& Folder() const { return folder_; }

  // Appends `e`, giving it its id, and returns the id. `place`, when given, runs once the id is
  // known and may set the entry's archive and notes (the kept copy takes the id as its
  // name); the row is written as it leaves them, in the same transaction.
  int64_t Append(LedgerEntry& e, const std::function<void(LedgerEntry&)>& place = {});

  // Entries, newest first; only those of `device` (code as recorded) when not empty.
  std::vector<LedgerEntry> List(std::string_view device = {}) const;
  std::optional<LedgerEntry> Get(int64_t id) const;

  // The folder of the files kept of export `id`; Error naming the ledger and the id when there
  // is no such export or its files are no longer kept.
  std::filesystem::path KeptFiles(int64_t id) const;
  // The same, once each kept file is found to hold what the export delivered (the SHA-256
  // recorded): Error naming the file that is missing or differs.
  std::filesystem::path CheckedKeptFiles(int64_t id) const;

 private:
  void Open(bool readOnly);
  // Raises the next export number above every kept folder's number.
  void SkipKeptNumbers();
  [[noreturn]] void Fail(const std::string& what, const std::exception& e) const;

  std::filesystem::path folder_;
  std::string file_;
  std::unique_ptr<Database> owned_;
  Database* db_;
};

}  // namespace kve::ledger
