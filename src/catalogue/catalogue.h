#pragma once
// The export table catalogue: every in-memory table of the export screen, held once as data
// (catalogue_rows.h), with its table name, where its rows come from, its fields in order and its
// files per target in their exact letter case. A wrong letter case loses the file on the
// device, so file names are never spelled anywhere else.
//
// The catalogue's rows stand in the order the export writes its files. Everything else is
// derived from it: the empty tables, the slot order of the server's reply, the XML and binary
// file lists, and the Palm install-queue and removal orders (held as ranks per table, with
// the two application files).

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dataset/dataset.h"
#include "platform/dataset/field.h"

namespace kve::exporting {

enum class Source : unsigned char {
  Slot,      // an element of the server's table reply
  Empty,     // recreated with no rows by every run, filled on the device
  Built,     // computed by the run
  Settings,  // computed for an eeePC export after its other files (DADOS_EEPC)
  Local,     // a table of the run that is never exported
  Lookup,    // a look-up of the screen's checks (device history, product groupings), not the run's
};

// Marks of a field.
enum FieldMark : unsigned char {
  kFixed = 1,         // fixed-width text
  kReadOnly = 2,      // read-only in the screen
  kHidden = 4,        // provider flags in-update, in-where and hidden (the stored password)
  kNotDisplayed = 8,  // invisible
};

struct FieldSpec {
  const char* name;
  FieldType type;
  int size;  // characters of a text field, 0 otherwise
  unsigned char marks;
};

struct TableSpec {
  std::string_view dataset;  // "cdsEfetClie"
  std::string_view table;    // "EFETCLIE"; empty for tables that are never exported
  Source source;
  int slot;  // the reply element for Source::Slot, -1 otherwise
  std::span<const FieldSpec> fields;
  std::string_view palmXml;  // "" when the Palm gets no file
  std::string_view palmPdb;
  int palmQueueRank;          // position in the Palm install queue (1-based), 0 when not queued
  int palmRemovalRank;        // position in the queue's removal list (1-based), 0 when never removed
  std::string_view eeepcFile;  // "" when the eeePC gets no file

  // Field definitions for a TClientDataSet, in order, with the marks applied.
  std::vector<FieldDef> FieldDefs() const;
  // The fields that tell its rows apart, in order; empty when rows are told apart only by
  // their position.
  std::vector<std::string_view> KeyFields() const;
  // The name errors and files carry: the table name, or the dataset name of a local table.
  std::string_view Name() const { return table.empty() ? dataset : table; }
};

// Every table, in the export's writing order.
std::span<const TableSpec> Catalogue();

// The table of a dataset name ("cdsProduto") or table name ("PRODUTO"), case-insensitive.
// Throws kve::Error naming the unknown name.
const TableSpec& FindTable(std::string_view datasetOrTable);

// Empties `ds` and recreates it with the table's fields and no rows; its name becomes the
// table's (so its errors name it).
void CreateEmpty(TClientDataSet& ds, const TableSpec& table);

// The tables of the server's reply, indexed by slot (0 to 25).
std::vector<const TableSpec*> SlotOrder();
inline constexpr int kSlotCount = 26;

// The device-side tables every run recreates empty, in catalogue order.
std::vector<const TableSpec*> EmptyTables();

struct FileEntry {
  const TableSpec* table;  // the dataset the file is saved from
  std::string_view file;   // the name inside the export folder
};

// The XML files of a Palm export, in writing order (35).
std::vector<FileEntry> PalmXmlFiles();
// The binary files of an eeePC export in writing order (34), without the settings file.
std::vector<FileEntry> EeepcFiles();
// The eeePC settings table (DADOS_EEPC), written after the other eeePC files.
const TableSpec& EeepcSettingsTable();

enum class QueueFolder : unsigned char { Export, Binaries };  // DirExp or DirBin
struct QueueEntry {
  QueueFolder folder;
  std::string_view file;
};
// The Palm install-queue entries in queue order (37): the databases and the two
// application files.
std::vector<QueueEntry> PalmQueue();
// The entries taken out of the queue before an export and on close, in removal order (36):
// every queued entry but EXPFILIAL.pdb, which stays queued until a HotSync picks it up.
std::vector<QueueEntry> PalmRemoval();

// Full paths of the entries as the screen builds them: the folder text (`dirExp` or `dirBin`,
// each ending in a backslash, or empty before the folders were ever resolved) followed by
// the file name, nothing added. With both folders empty the paths are bare file names.
std::vector<std::string> QueuePaths(const std::vector<QueueEntry>& entries,
                                    std::string_view dirExp, std::string_view dirBin);
inline std::vector<std::string> PalmQueuePaths(std::string_view dirExp, std::string_view dirBin) {
  return QueuePaths(PalmQueue(), dirExp, dirBin);
}
inline std::vector<std::string> PalmRemovalPaths(std::string_view dirExp, std::string_view dirBin) {
  return QueuePaths(PalmRemoval(), dirExp, dirBin);
}

}  // namespace kve::exporting
