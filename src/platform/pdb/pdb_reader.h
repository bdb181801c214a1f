#pragma once
// Reads a Palm database back: header, record list, the field description of its AppInfo
// block and records decoded with it. For tests and kve-inspect; every offset and length is
// checked against the file, and anything out of place raises FormatError naming the file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pdb/pdb_writer.h"

namespace kve::pdb {

struct PdbHeader {
  std::string name;  // UTF-8
  uint16_t attributes = 0;
  uint16_t version = 0;
  uint32_t created = 0, modified = 0, backedUp = 0;  // seconds since 1904-01-01
  uint32_t modificationNumber = 0;
  uint32_t appInfoOffset = 0, sortInfoOffset = 0;
  std::string type, creator;  // four characters each
  uint32_t uniqueIdSeed = 0;
  uint32_t nextRecordList = 0;
  uint16_t recordCount = 0;
};

struct PdbFieldDesc {
  std::string name;                     // UTF-8
  std::optional<TPDBPSFieldType> type;  // none: the field takes no bytes
  uint16_t size = 0;
};

struct PdbRecordEntry {
  uint32_t offset = 0;
  uint8_t attributes = 0;
  uint32_t uniqueId = 0;
};

// One decoded field value.
struct PdbValue {
  std::optional<TPDBPSFieldType> type;
  std::string text;     // PSString, UTF-8
  int64_t integer = 0;  // the integer types, PSBoolean (0/1) and PSDate (the raw DateType)
  double real = 0;      // PSDouble

  // The value as kve-inspect shows it: texts as they are, dates dd/mm/yyyy (empty for "no
  // date"), booleans True/False, a PSDouble in the shortest form of its single-precision value.
  std::string Text() const;
  // PSDate: the date, or nothing for "no date" and for an invalid DateType.
  std::optional<CivilDate> Date() const;
};

// Whether the bytes look like a Palm database: a header whose name ends within its 32 bytes,
// four-character type and creator, and a record list that fits in the file. Data packets
// never pass (their first bytes are no NUL-terminated name with such a header).
bool IsPdb(std::string_view bytes);

class PdbFile {
 public:
  static PdbFile Load(const std::filesystem::path& file);  // through the host's file system
  static PdbFile Load(FileSystem& fs, std::string_view path);
  // `label` names the bytes in errors (usually the file name).
  static PdbFile Parse(std::string bytes, std::string label);

  const std::string& Label() const { return label_; }
  const PdbHeader& Header() const { return header_; }
  const std::vector<PdbRecordEntry>& Entries() const { return entries_; }
  // False when the file has no AppInfo block: its records can then only be shown as bytes.
  bool HasFieldDescription() const { return hasFields_; }
  const std::vector<PdbFieldDesc>& Fields() const { return fields_; }
  int FieldIndex(std::string_view name) const;  // -1 when absent

  int RecordCount() const { return static_cast<int>(entries_.size()); }
  std::string_view RecordBytes(int i) const;  // REQUIRES: 0 <= i < RecordCount()
  std::vector<PdbValue> Record(int i) const;  // decoded with Fields()

 private:
  void ParseHeader();
  void ParseEntries();
  void ParseFieldDescription();

  std::string label_;
  std::string bytes_;
  PdbHeader header_;
  std::vector<PdbRecordEntry> entries_;
  bool hasFields_ = false;
  std::vector<PdbFieldDesc> fields_;
};

}  // namespace kve::pdb
