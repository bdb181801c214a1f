#pragma once
// Field definitions of the in-memory table: what a column is, independent of its values.

#include <cstdint>
#include <string>
#include <string_view>

namespace kve {

enum class FieldType : uint8_t {
  String,    // text of at most `size` characters (fixed width when FieldDef::fixed)
  Int16,
  Int32,
  Int64,
  Float,     // IEEE double
  Boolean,
  Date,
  Time,
  DateTime,
};

std::string_view FieldTypeName(FieldType t);  // "string", "i2", ... as in the XML packet

// Provider flags of a field, as the packet stores them.
enum ProviderFlags : uint32_t {
  pfInUpdate = 1,
  pfInWhere = 2,
  pfInKey = 4,
  pfHidden = 8,
};

struct FieldDef {
  std::string name;
  FieldType type = FieldType::String;
  int size = 0;                // characters of a string field; 0 for the other types
  bool fixed = false;          // fixed-width string (SUBTYPE FixedChar)
  bool readOnly = false;
  bool required = false;
  bool visible = true;         // false: declared "not displayed" (not stored in packets)
  uint32_t providerFlags = 0;  // ProviderFlags; pfHidden marks a hidden field

  bool hidden() const { return (providerFlags & pfHidden) != 0; }
  bool operator==(const FieldDef&) const = default;
};

// Shorthands used by the table catalogue and the tests.
inline FieldDef StringField(std::string name, int size) {
  return FieldDef{std::move(name), FieldType::String, size};
}
inline FieldDef TypedField(std::string name, FieldType type) {
  return FieldDef{std::move(name), type, 0};
}

}  // namespace kve
