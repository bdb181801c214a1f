#pragma once
// The local-machine registry, read only. Keys are paths below HKEY_LOCAL_MACHINE
// ("Software\ORVANTA\Sistemas Integrados Orvanta"); key and value names match without regard
// to letter case.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kve {

class FileSystem;

class Registry {
 public:
  Registry() = default;
  virtual ~Registry() = default;
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // The text value `name` of `key`; nothing when the key or the value is missing. Raises
  // FormatError naming the file and line when the store is malformed, ValueError when the
  // value exists but is not text.
  virtual std::optional<std::string> ReadString(std::string_view key, std::string_view name) = 0;
};

// Reads a registry export file (".reg", "Windows Registry Editor Version 5.00" in UTF-16 or
// UTF-8, or "REGEDIT4" in Windows-1252) on every call, so an edited file is seen at once. A
// missing file reads as an empty registry.
std::unique_ptr<Registry> NewRegFileRegistry(std::filesystem::path file);  // a host file
// The same, `path` read through `fs`, which must outlive the registry.
std::unique_ptr<Registry> NewRegFileRegistry(FileSystem& fs, std::string path);

// A registry held in memory, for tests.
class MemRegistry final : public Registry {
 public:
  void Set(std::string_view key, std::string_view name, std::string value);
  std::optional<std::string> ReadString(std::string_view key, std::string_view name) override;

 private:
  std::map<std::string, std::string> values_;  // "key\name" in lower case -> value
};

}  // namespace kve
