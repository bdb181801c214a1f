#pragma once
// kve-export's side of the export ledger: the entry of one run, recorded after the run without
// ever changing how the run ended, and the ledger printed for --history.

#include <future>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "record/hashing_fs.h"
#include "record/export_options.h"
#include "record/summary.h"
#include "ledger/archive.h"
#include "ledger/ledger.h"
#include "platform/maker/config.h"

namespace kve::record {

// The entry of a run: who and when, the parameters as given, how it ended, the files.
ledger::LedgerEntry EntryOf(const ExportOptions& o, const Summary& s, const maker::HostConfig& c);

// What the ledger takes of a run's files as the summary reads them back: the SHA-256 of each,
// worked out on a thread of its own while the next files are read, and the file kept in
// `copy` when `keepCopy` (a clone of it where the file system offers one).
class LedgerTake {
 public:
  // `written`, when given, is the file system the export wrote through: what it took of the
  // files as it wrote them (hashes, records, the bytes of files on a share) is taken for the
  // files still as written, which are not read back.
  LedgerTake(ledger::ArchiveWriter& copy, bool keepCopy, HashingFileSystem* written = nullptr)
      : copy_(copy), keepCopy_(keepCopy), written_(written) {}
  ~LedgerTake();  // waits for the hashes still being worked out
  LedgerTake(const LedgerTake&) = delete;
  LedgerTake& operator=(const LedgerTake&) = delete;

  // For WrittenFiles; it takes each file's bytes.
  FileVisitor Visitor();
  // Waits for every hash and gives it to its file of `files`.
  void Finish(std::vector<FileSummary>& files);
  ledger::ArchiveWriter& Copy() { return copy_; }

 private:
  ledger::ArchiveWriter& copy_;
  bool keepCopy_;
  HashingFileSystem* written_;
  std::vector<std::pair<std::string, std::future<std::string>>> hashes_;  // by file name
};

// Appends the run's entry to `ledger` (nothing when null: it could not be opened), with the
// hashes `take` worked out, and gives its copy, which has seen the run's files, its place,
// keeping the configured number of copies. Never raises: what goes wrong is added to the
// summary's notes, and the export's ending stays.
void RecordInLedger(ledger::Ledger* ledger, LedgerTake& take, const ExportOptions& o,
                    const maker::HostConfig& c, Summary& s);

// One line per entry, newest first.
void PrintHistory(std::ostream& out, const std::vector<ledger::LedgerEntry>& entries);
// One entry, file by file.
void PrintEntry(std::ostream& out, const ledger::LedgerEntry& e);

}  // namespace kve::record
