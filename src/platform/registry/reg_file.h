#pragma once
// The registry export file format.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kve {

// One value of a key: text, or another kind kept only by its kind's name ("dword", "hex(7)").
struct RegValue {
  bool isText = true;
  std::string text;  // UTF-8
  std::string kind;
};

// Parsed content: local-machine keys (lower case, no root, no trailing '\') -> value names
// (lower case; "" for the default value) -> value. Keys of other roots are dropped.
struct RegFile {
  std::map<std::string, std::map<std::string, RegValue>> keys;
  const RegValue* Find(std::string_view key, std::string_view name) const;
};

// Parses the file's bytes (any of the three encodings). Raises FormatError "FILE: line N: ..."
// for a missing header, an unclosed section, a value outside a section, an unclosed quote or
// an unknown escape. Later lines win over earlier ones for the same value; a "[-KEY]" section
// deletes the key and "NAME"=- deletes a value, as importing the file would.
RegFile ParseRegFile(std::string_view bytes, std::string_view fileName);

}  // namespace kve
