#pragma once
// kve-export's side of the export ledger: the entry of one run, recorded after the run without
// ever changing how the run ended, and the ledger printed for --history.

#include <ostream>
#include <vector>

#include "batch/options.h"
#include "batch/summary.h"
#include "ledger/archive.h"
#include "ledger/ledger.h"
#include "platform/maker/config.h"

namespace kve::batch {

// The entry of a run: who and when, the parameters as given, how it ended, the files.
ledger::LedgerEntry EntryOf(const ExportOptions& o, const Summary& s, const maker::HostConfig& c);

// What the ledger takes of each file as the run's files are read back: its SHA-256, and a
// copy into `copy` when `keepCopy` (a second name of the file where it can be one).
FileVisitor LedgerVisitor(ledger::ArchiveWriter& copy, bool keepCopy);

// Appends the run's entry to `ledger` (nothing when null: it could not be opened) and gives
// `copy`, which has seen the run's files, its place, keeping the configured number of copies.
// Never raises: what goes wrong is added to the summary's notes, and the export's ending stays.
void RecordInLedger(ledger::Ledger* ledger, ledger::ArchiveWriter& copy, const ExportOptions& o,
                    const maker::HostConfig& c, Summary& s);

// One line per entry, newest first.
void PrintHistory(std::ostream& out, const std::vector<ledger::LedgerEntry>& entries);
// One entry, file by file.
void PrintEntry(std::ostream& out, const ledger::LedgerEntry& e);

}  // namespace kve::batch
