#pragma once
// The PDB component: writes one Palm database at a time, record by record.
//
//   TPDBPocketStudio pdm;                 // creator "RKVE", type "DBCS", write-only
//   pdm.SetDBName("EFETIVOS");
//   auto& f = pdm.Fields().Add();         // field list, in record order
//   f.SetFieldName("CDFILIAL"); f.SetDataType(TPDBPSFieldType::PSString); f.SetSize(0);
//   pdm.SetDirectory(folder); pdm.SetPDBFilename("EFETIVOS.pdb");
//   pdm.CreateDatabase();
//   pdm.Append(); pdm.FieldByName("CDFILIAL").SetAsPSString("0001"); pdm.Post();
//   pdm.CloseDatabase();                  // the file appears, complete, only now
//
// Records are encoded as they are posted into one buffer that becomes the file: a Palm
// database holds at most 65,535 records, so the whole of it fits in memory. At CloseDatabase
// the header goes in front and the file replaces any earlier one of the same name whole
// (through a file system, the host's for a folder of this host): a HotSync never sees half a database, and
// an earlier database stays untouched when writing fails. Written straight into a folder with
// the record count announced (ExpectRecords), a large database goes to its temporary file a
// megabyte at a time as it is encoded, and its header is put in place at the end.
//
// Not thread-safe; one database open at a time.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/error.h"
#include "platform/dataset/datetime.h"

namespace kve {

// A record past what one Palm database holds (65,535): the export must be narrowed.
class PalmRecordLimitError : public ValueError {
 public:
  using ValueError::ValueError;
  [[noreturn]] void ThrowSameKind(const std::string& what) const override { throw PalmRecordLimitError(what, kind()); }
};

class FileSystem;
class FolderSync;
class WriteStream;

// The PS field types, numbered by their position in the type table (pdmTipos).
enum class TPDBPSFieldType : uint8_t {
  PSString = 0,
  PSInt8 = 1,
  PSInt16 = 2,
  PSInt32 = 3,
  PSDate = 4,
  PSDouble = 5,
  PSBoolean = 6,
};
std::string_view PSTypeName(TPDBPSFieldType t);  // "PSString", ...
// Bytes a value of a fixed-width type takes in a record; 0 for PSString (its text and a NUL).
size_t PSFixedWidth(TPDBPSFieldType t);

enum class TPDBOpenMode { dmModeReadOnly, dmModeWriteOnly, dmModeReadWrite };

class TPDBPocketStudio;

// One field of the database's field list, and its value in the record being built.
class TPDBPSField {
 public:
  explicit TPDBPSField(TPDBPocketStudio* owner) : owner_(owner) {}

  const std::string& FieldName() const { return name_; }
  void SetFieldName(std::string name) { name_ = std::move(name); }
  // A field without a type takes no bytes and accepts no value.
  std::optional<TPDBPSFieldType> DataType() const { return type_; }
  void SetDataType(TPDBPSFieldType t) { type_ = t; }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }

  // Assign the field in the current record (after Append, before Post). Each setter needs
  // the field's own type; a mismatch, a text the code page cannot hold (or one holding a
  // NUL) or a date outside the Palm's years 1904-2031 raises ValueError naming the database,
  // the record and the field.
  void SetAsPSString(std::string_view utf8);
  void SetAsPSInt8(int8_t v);
  void SetAsPSInt16(int16_t v);
  void SetAsPSInt32(int32_t v);
  void SetAsPSSingle(float v);    // kept in the PSDouble field as a double
  void SetAsPSDate(TDateTime v);  // its date; the time of day is dropped
  void SetAsPSBoolean(bool v);

 private:
  friend class TPDBPocketStudio;
  // Setters need a record under way and their own type; the check is inline, its failure not.
  void Require(TPDBPSFieldType t) const {
    if (!InRecord() || type_ != t) RequireSlow(t);
  }
  bool InRecord() const;
  [[noreturn]] void RequireSlow(TPDBPSFieldType t) const;
  // This field's bytes in the current record (its zero when unassigned): their number, and
  // writing them at `p` (returns the end).
  size_t EncodedSize() const;
  char* EncodeTo(char* p) const;

  TPDBPocketStudio* owner_;
  std::string name_;
  std::optional<TPDBPSFieldType> type_;
  int size_ = 0;
  // the current record's value
  bool assigned_ = false;
  std::string text_;  // Windows-1252 bytes
  int64_t int_ = 0;   // integers, booleans and the DateType
  double double_ = 0;
};

// The ordered field list. Fields keep their address until Clear().
class TPDBPSFields {
 public:
  explicit TPDBPSFields(TPDBPocketStudio* owner) : owner_(owner) {}
  TPDBPSField& Add();
  TPDBPSField& GetItem(int i);  // 0-based; raises Error when out of range
  const TPDBPSField& GetItem(int i) const;
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear();

 private:
  friend class TPDBPocketStudio;
  TPDBPocketStudio* owner_;
  std::vector<std::unique_ptr<TPDBPSField>> items_;
};

class TPDBPocketStudio {
 public:
  TPDBPocketStudio();
  ~TPDBPocketStudio();  // discards a database that was never closed
  TPDBPocketStudio(const TPDBPocketStudio&) = delete;
  TPDBPocketStudio& operator=(const TPDBPocketStudio&) = delete;

  // --- settings ---
  const std::string& CreatorID() const { return creator_; }
  void SetCreatorID(std::string v) { creator_ = std::move(v); }  // 4 characters
  const std::string& DatabaseType() const { return type_; }
  void SetDatabaseType(std::string v) { type_ = std::move(v); }  // 4 characters
  TPDBOpenMode OpenMode() const { return mode_; }
  void SetOpenMode(TPDBOpenMode m) { mode_ = m; }
  const std::filesystem::path& Directory() const { return dir_; }
  void SetDirectory(std::filesystem::path d) {
    dir_ = std::move(d);
    fs_ = nullptr;
  }
  // The folder as a path of `fs` ("C:\Palm\Kve\Exp\"): the database is written through it.
  void SetDirectory(FileSystem& fs, std::string folder) {
    fs_ = &fs;
    fsDir_ = std::move(folder);
  }
  // With a host folder: the flush of the folder is left to `later` (one for many databases).
  void SetFolderSync(FolderSync* later) { later_ = later; }
  FolderSync* GetFolderSync() const { return later_; }
  const std::string& DBName() const { return dbName_; }  // at most 31 characters
  void SetDBName(std::string v) { dbName_ = std::move(v); }
  const std::string& PDBFilename() const { return fileName_; }
  void SetPDBFilename(std::string v) { fileName_ = std::move(v); }
  // Creation and modification time written to the header; the clock when unset.
  void SetTimestamp(std::optional<TDateTime> t) { stamp_ = t; }

  TPDBPSFields& Fields() { return fields_; }
  const TPDBPSFields& Fields() const { return fields_; }
  TPDBPSField& FieldByName(std::string_view name);  // letter case ignored; Error when absent

  // --- one database ---
  // Checks the settings and the folder; raises ValueError for a bad setting and IoError when
  // the folder does not exist.
  void CreateDatabase();
  // Assembles the database and puts it in place under PDBFilename; IoError naming the file
  // when the folder refuses it.
  void CloseDatabase();
  // Tells the open database, before its first record, how many records it will get. The
  // records then go behind room left for the header; a wrong count costs one move at
  // CloseDatabase, never a wrong file.
  void ExpectRecords(int n);
  // Drops the open database, if any: an earlier file stays.
  void CancelDatabase() noexcept;
  bool Active() const { return active_; }

  // Starts a record with no field assigned. The 65,536th record is refused (ValueError
  // naming the database): a Palm database cannot count it.
  void Append();
  void Post();  // appends the current record to the database

  // Appends one record its caller encodes, for bulk conversions: `encode(p)` writes at most
  // `maxSize` bytes at `p` and returns their end, or nullptr when it cannot encode the record;
  // then nothing is appended and this returns false, so the caller can build the record
  // through Append, the setters and Post, which report the fault. Same limits as Append.
  template <class Encode>
  bool PostEncoded(size_t maxSize, Encode&& encode);
  int RecordCount() const { return static_cast<int>(ends_.size()); }

  // "EFETIVOS.pdb: record 12" for messages (the record being built).
  std::string Context() const;

 private:
  friend class TPDBPSField;
  void RequireRecord(const char* what) const;
  void RequireRoom() const;        // Append's checks
  char* BeginEncoded(size_t max);  // room for a record at the end of the buffer
  void EndEncoded(const char* end);
  void Grow(size_t need);          // room for `need` bytes after the first used_
  std::string BuildAppInfo() const;  // the field description
  std::string BuildHead() const;     // header, record list, AppInfo
  std::string Target() const;        // the database's path, for the file and for messages

  std::string creator_ = "RKVE";
  std::string type_ = "DBCS";
  TPDBOpenMode mode_ = TPDBOpenMode::dmModeWriteOnly;
  std::filesystem::path dir_;
  FileSystem* fs_ = nullptr;  // set: the folder is fsDir_ of this file system
  std::string fsDir_;
  FolderSync* later_ = nullptr;
  std::string dbName_;
  std::string fileName_;
  std::optional<TDateTime> stamp_;
  TPDBPSFields fields_;

  bool active_ = false;
  bool inRecord_ = false;
  // The database: its first used_ bytes, reserved_ bytes for the head, then the records.
  // Grown with realloc, which moves a large block by remapping its pages rather than copying
  // them, and never zero-filled: every byte is written before it is used.
  struct Bytes {
    char* data = nullptr;
    size_t cap = 0;
    Bytes() = default;
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    ~Bytes();
  } file_;
  size_t used_ = 0;
  size_t reserved_ = 0;
  std::vector<uint32_t> ends_;  // end of each record, counted from the first record
  // The database's temporary file once the buffer has been written out to it: the buffer then
  // holds the bytes after the first spilled_ of the file.
  std::unique_ptr<FileSystem> host_;   // the host folder's files, while a database spills
  std::unique_ptr<WriteStream> spill_;
  uint64_t spilled_ = 0;
  void Spill();
};

inline bool TPDBPSField::InRecord() const { return owner_->inRecord_; }

template <class Encode>
bool TPDBPocketStudio::PostEncoded(size_t maxSize, Encode&& encode) {
  char* p = BeginEncoded(maxSize);
  const char* end = encode(p);  // a throw leaves used_, and so the database, as it was
  if (!end) return false;
  EndEncoded(end);
  return true;
}

// The type table pdmTipos, read by position: entry i has DataType i and the size that type
// takes in a record (0 for PSString, whose width varies). Only its DataType is ever used.
const TPDBPSFields& PdmTipos();

}  // namespace kve
