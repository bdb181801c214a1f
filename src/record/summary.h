#pragma once
// What one export did, as a short text for a person and as one JSON object for a
// script: target, device, folder, the files written with their rows and bytes, the Palm's
// queue, the closing message and how long it took.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/fs/file_system.h"

namespace kve::record {

// How an export ended; the values are kve-export's exit status.
enum class Ending {
  Exported = 0,  // the closing alert was shown (the AF warning too)
  Stopped = 1,   // a check failed or a question was answered No; nothing exported
  Usage = 2,     // wrong usage or configuration
  Failed = 3,    // the export (or the start-up) failed
};

struct FileSummary {
  std::string name;
  std::optional<int64_t> rows;  // records of a data packet or Palm database
  uint64_t bytes = 0;
  std::string sha256;  // lower-case hexadecimal, when the ledger took the file
};

class HashingFileSystem;

// Each written file with its bytes and its place on this host when it has one: the ledger
// hashes and keeps them. The visitor may take the bytes. A file still as it was written
// through `written` (its size and time unchanged) is not read back: its size, records and
// hash, already in the summary given to `visit`, are those taken while writing, and its bytes
// those kept then; it is read only when `wantsBytes` and none were kept.
struct FileVisitor {
  using Visit = std::function<void(FileSummary& file, std::string& bytes,
                                   const std::optional<std::filesystem::path>& hostPath)>;
  FileVisitor() = default;
  FileVisitor(Visit v, HashingFileSystem* w = nullptr, bool wants = true)
      : visit(std::move(v)), written(w), wantsBytes(w ? wants : true) {}
  explicit operator bool() const { return static_cast<bool>(visit); }

  Visit visit;
  HashingFileSystem* written = nullptr;
  bool wantsBytes = true;
};

// A table whose Palm database would pass the record limit, which stopped the export.
struct TableOverLimit {
  std::string table;
  int64_t rows = 0;
};

struct Summary {
  std::string target;  // "palm" or "eeepc"
  std::string deviceCode, deviceName;
  std::string folder;  // the export folder as the screen names it
  std::vector<FileSummary> files;
  std::string queueUser;           // the Palm's HotSync user
  std::vector<std::string> queue;  // that user's install-queue entries after the export
  std::string closingMessage;
  std::vector<std::string> messages;  // every text the screen showed
  std::string problem;                // the driver's own reason for stopping, if any
  // The technical detail behind an error the operator was shown in words of the screen: for
  // the log and the JSON summary, never beside the operator's text.
  std::string detail;
  Ending ending = Ending::Failed;
  double seconds = 0;
  bool dryRun = false;     // the files are what the export would write; none was written
  bool afWarning = false;  // the closing message is the supply-authorisation warning
  std::vector<TableOverLimit> overPalmLimit;  // every table over it; empty when none
  // The export ledger: the entry's id, the copy of the files kept, and what went wrong
  // recording either (the export's own ending stays as it was).
  std::optional<int64_t> ledgerId;
  std::string archive;
  std::vector<std::string> notes;
};

std::string_view EndingName(Ending e);  // "exported", "stopped", "usage", "failed"

nlohmann::json ToJson(const Summary& s);
// A few lines for a person.
void PrintSummary(std::ostream& out, const Summary& s);

// Records in a file of the export by its bytes: data packets (either form) and Palm
// databases; nothing for any other file.
std::optional<int64_t> RowsOfFile(std::string_view name, const std::string& bytes);
// The same worked out before the file has its last name: a Palm database counts its records
// only under a ".pdb" name.
struct FileRows {
  bool isPdb = false;
  std::optional<int64_t> pdb, packet;
  std::optional<int64_t> For(std::string_view name) const;
};
FileRows RowsOfBytes(std::string_view bytes);

// The files of `folder` (a Windows-form path) last written at or after `since`, by name,
// each shown to `visit` with its bytes.
std::vector<FileSummary> WrittenFiles(FileSystem& fs, std::string_view folder,
                                      std::chrono::system_clock::time_point since,
                                      const FileVisitor& visit = {});
// The same for the files `names` only, those the export run says it wrote (by the names it
// gave them): a stray file of the folder, whatever its case or its time, is none of them.
std::vector<FileSummary> WrittenFiles(FileSystem& fs, std::string_view folder,
                                      std::chrono::system_clock::time_point since,
                                      const std::vector<std::string>& names,
                                      const FileVisitor& visit = {});

// The entries of `user`'s install queue under the HotSync root, by name (temporaries of an
// unfinished copy left out). Empty when the user has no queue.
std::vector<std::string> QueueEntries(const std::filesystem::path& root, const std::string& user);
// The same for a queue on a PC's share, `shareRoot` a Windows-form path ("\\PC\Palm") that
// `fs` reaches.
std::vector<std::string> QueueEntries(FileSystem& fs, std::string_view shareRoot, const std::string& user);

}  // namespace kve::record
