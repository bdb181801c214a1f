#pragma once
// The in-memory table (client dataset): field definitions, rows with a change log, a cursor,
// one-field filter and index, and the XML and binary data packets.
//
// Rows are kept compact: each row is one byte block holding an 8-byte slot per field (an
// integer, a double, a millisecond count, or the offset and length of a string's bytes), a
// null bitmap, then the string bytes. The blocks lie one after another in large chunks (see
// row_arena.h). A table of a few hundred thousand rows so costs little more than its packet.
// Texts are UTF-8 inside; packets and files hold Windows-1252.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/prefault.h"
#include "platform/dataset/datetime.h"
#include "platform/dataset/field.h"
#include "platform/dataset/row_arena.h"

namespace kve {

class FileSystem;
class FolderSync;

class TClientDataSet;

enum class DataPacketFormat { Xml, Binary };

// Row state in the change log, with the binary packet's codes.
enum class RowStatus : uint8_t {
  Unchanged = 0,
  Original = 1,
  Deleted = 2,
  Inserted = 4,
  Modified = 8,
};

// Read-only view of one stored row, for the packet writers and other bulk readers.
class RowView {
 public:
  RowView(const uint8_t* block, int fieldCount) : b_(block), n_(fieldCount) {}
  bool IsNull(int i) const { return (b_[8 * n_ + i / 8] >> (i % 8)) & 1; }
  // The null flags, one bit per field (field i in byte i/8, bit i%8), (fields + 7) / 8 bytes.
  const uint8_t* NullBits() const { return b_ + 8 * n_; }
  int64_t Int(int i) const { return static_cast<int64_t>(Slot(i)); }  // ints, booleans, ms
  double Float(int i) const {
    const uint64_t bits = Slot(i);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
  }
  std::string_view Str(int i) const {  // UTF-8
    const uint64_t s = Slot(i);
    return {reinterpret_cast<const char*>(b_) + static_cast<uint32_t>(s), static_cast<size_t>(s >> 32)};
  }

 private:
  uint64_t Slot(int i) const {
    uint64_t v;
    std::memcpy(&v, b_ + 8 * i, 8);
    return v;
  }
  const uint8_t* b_;
  int n_;
};

// Builds one row's block. Every field starts null.
class RowBuilder {
 public:
  explicit RowBuilder(int fieldCount);
  void Reset();
  void SetNull(int i);
  void SetInt(int i, int64_t v);
  void SetFloat(int i, double v);
  void SetStr(int i, std::string_view utf8);
  void LoadFrom(RowView row, const std::vector<FieldDef>& defs);
  bool IsNull(int i) const { return nulls_[i] != 0; }
  RowView View();      // valid until the next change
  std::string Take();  // the finished block; the builder is reset
  // The finished block's size, and the block written at `into` (BlockSize() bytes), for a
  // table that keeps its blocks elsewhere.
  size_t BlockSize();
  void WriteBlock(uint8_t* into) const;

 private:
  void Assemble();
  void PackHeap();
  size_t HeadSize() const { return 8 * static_cast<size_t>(n_) + (n_ + 7) / 8; }
  void Drop(int i);
  int n_;
  std::vector<uint64_t> slots_;  // values; for a string its length and offset in heap_
  std::vector<uint8_t> nulls_;
  std::vector<uint8_t> isStr_;
  std::string heap_;             // string bytes in the order they were set
  bool garbage_ = false;         // heap_ holds bytes no field uses any more
  std::string block_;
};

// A handle on one field of a dataset's current row (or of the row being edited).
// Cheap to copy; valid while the dataset keeps its fields.
class TField {
 public:
  TField(TClientDataSet* ds, int index) : ds_(ds), i_(index) {}
  const FieldDef& Def() const;
  const std::string& FieldName() const { return Def().name; }
  FieldType DataType() const { return Def().type; }
  int Index() const { return i_; }

  bool IsNull() const;
  // Reads convert like the platform: a null reads as "", 0, false or the zero date-time.
  std::string AsString() const;       // UTF-8; dates as dd/mm/yyyy[ hh:nn:ss]
  int32_t AsInteger() const;          // low 32 bits of a 64-bit value
  int64_t AsLargeInt() const;
  double AsFloat() const;
  bool AsBoolean() const;
  TDateTime AsDateTime() const;

  // Writes need the dataset in Edit or Insert state. A text longer than a string field's
  // width, or one that does not parse as the field's type, raises ValueError naming the
  // table, the field and the row.
  void SetAsString(std::string_view v);
  void SetAsInteger(int64_t v);
  void SetAsFloat(double v);
  void SetAsBoolean(bool v);
  void SetAsDateTime(TDateTime v);
  void Clear();  // set null

 private:
  TClientDataSet* ds_;
  int i_;
};

class TClientDataSet {
 public:
  // `name` is the table name that error messages carry ("PRODUTO").
  explicit TClientDataSet(std::string name = {});
  ~TClientDataSet();
  TClientDataSet(const TClientDataSet&) = delete;
  TClientDataSet& operator=(const TClientDataSet&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string n) { name_ = std::move(n); }

  // SetData, Data, LoadFromFile and SaveToFile are defined with the packet formats
  // (dataset_io.cc).

  // --- definition and life cycle ---
  std::vector<FieldDef>& FieldDefs() { return defs_; }  // edit while closed
  const std::vector<FieldDef>& FieldDefs() const { return defs_; }
  void CreateDataSet();  // opens empty with FieldDefs
  void Close();          // drops rows, change log, filter state; keeps FieldDefs
  bool Active() const { return active_; }

  // Replaces fields and rows with a packet in either form, told apart by content.
  void SetData(std::string_view packet);
  // The binary packet of the whole table (what travels on the wire).
  std::string Data() const;
  // Files: XML or binary by content on load; a save replaces the file whole or not at all
  // (through the host's file system). Every error names the file; a failed load leaves the table as it was.
  void LoadFromFile(const std::filesystem::path& file);
  // `later`, when given, takes the flush of the file's folder (one for many files).
  void SaveToFile(const std::filesystem::path& file, DataPacketFormat fmt,
                  FolderSync* later = nullptr) const;
  // The same through a file system, by its path: what an export writes and reads.
  void LoadFromFile(FileSystem& fs, std::string_view path);
  void SaveToFile(FileSystem& fs, std::string_view path, DataPacketFormat fmt) const;

  // --- fields ---
  int FieldCount() const { return static_cast<int>(defs_.size()); }
  int FindFieldIndex(std::string_view name) const;  // -1 when absent (case-insensitive)
  TField FieldByName(std::string_view name);        // raises Error when absent
  TField Fields(int i) { return TField(this, i); }

  // --- cursor over the visible rows (filter and index applied) ---
  void First();
  void Next();
  bool Eof() const;
  bool Bof() const;
  int RecordCount() const;  // visible rows
  int RecNo() const;        // 1-based position in the visible rows, 0 when none

  // --- editing ---
  void Edit();    // current row
  void Insert();  // new row (appended; the index, if any, places it)
  void Append();
  void Post();
  void Cancel();
  bool Modified() const { return state_ != State::Browse; }
  void MergeChangeLog();  // every row becomes a plain row
  int ChangeCount() const;

  // --- search, filter, index ---
  // First visible row whose field equals `value` exactly (case-sensitive, whole value).
  bool Locate(std::string_view field, std::string_view value);
  // "FIELD = value" (value optionally quoted); empty text clears it.
  void SetFilter(std::string_view expression);
  void SetFiltered(bool on);
  bool Filtered() const { return filtered_; }
  // Ascending, one field, equal keys kept in arrival order; empty clears it.
  void SetIndexFieldNames(std::string_view field);

  // --- bulk access for packet readers and writers ---
  int StoredRowCount() const { return static_cast<int>(rows_.size()); }
  // The bytes held for the rows' blocks: whole chunks, with any blocks edits left in them.
  size_t RowBytesHeld() const { return arena_.held(); }
  // Rows in the order a packet stores them: index order when an index is set, else arrival.
  std::vector<int> StorageOrder() const;
  RowView Row(int stored) const;  // valid until the table's rows next change
  // The current row's values (the edit buffer while editing), for bulk readers that walk
  // with the cursor. REQUIRES: Active() and !Eof().
  RowView CurrentRowView() const { return CurrentView(); }
  RowStatus Status(int stored) const { return rows_[stored].status; }
  // Appends a finished row without going through Insert/Post.
  void AppendRow(RowBuilder& row, RowStatus status = RowStatus::Unchanged);
  // Sets text field `field` of stored row `stored` where the row lies and makes it a plain
  // row, for derivations that fill one column of every row: nothing else of the row is copied.
  // No width check and no change log; the caller checks the values and posts any edit first.
  void SetStoredText(int stored, int field, std::string_view utf8);
  // Replaces definitions, rows and state at once (for the readers); opens the table.
  void Reset(std::vector<FieldDef> defs);
  // Takes the fields and rows of `loaded` (a scratch table a reader filled), keeping this
  // table's name, filter and index; `loaded` is left closed. The cursor goes to the first row.
  void Adopt(TClientDataSet& loaded);

  // "NAME row N" for messages (N 1-based position of the current row).
  std::string RowContext() const;

 private:
  friend class TField;
  enum class State { Browse, Edit, Insert };
  struct StoredRow {
    uint8_t* block;  // in arena_
    uint32_t size;   // bytes of the block in use
    uint32_t room;   // bytes the arena gave it
    RowStatus status;
    uint32_t chunk;  // of arena_ the block lies in
  };

  void RequireActive(const char* what) const;
  void RequireEditing(const char* what) const;
  const StoredRow* CurrentRow() const;
  RowView CurrentView() const;  // the edit buffer while editing
  void EnsureView() const;
  void InvalidateView() { viewDirty_ = true; }
  bool RowVisible(int stored) const;
  void BrowseMode();  // posts a pending edit, as moving the cursor does
  bool KeyChanged(RowView before, RowView after) const;
  void ExtendView();
  void CheckWidth(int i, std::string_view utf8) const;
  size_t CheckRowSize(size_t size) const;
  StoredRow Store(RowBuilder& row, RowStatus status);
  void DropRows();

  std::string name_;
  std::vector<FieldDef> defs_;
  std::vector<StoredRow, PrefaultAllocator<StoredRow>> rows_;
  RowArena arena_;
  bool active_ = false;

  // cursor: the stored row it stands on (-1 when none); past-the-end and before-the-start
  // are flags, as the cursor stays on the last or first row
  int cur_ = -1;
  bool eof_ = true;
  bool bof_ = true;
  State state_ = State::Browse;
  std::unique_ptr<RowBuilder> edit_;

  // filter and index; the view (visible rows in order) is rebuilt lazily after changes
  std::string filterText_;
  std::string filterFieldName_;
  std::string indexFieldName_;
  bool filtered_ = false;
  int filterField_ = -1;
  std::string filterValue_;
  int indexField_ = -1;
  mutable bool viewDirty_ = true;
  mutable std::vector<int, PrefaultAllocator<int>> view_;     // stored row indices in walk order
  mutable std::vector<int, PrefaultAllocator<int>> viewPos_;  // stored row -> position in view_, -1 when hidden
};

}  // namespace kve
