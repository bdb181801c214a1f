#include "platform/registry/registry.h"


#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/fs/file_system.h"
#include "platform/registry/reg_file.h"

namespace kve {
namespace {

std::string KeyName(std::string_view key) {
  std::string k = AsciiLowered(key);
  while (!k.empty() && k.back() == '\\') k.pop_back();
  while (!k.empty() && k.front() == '\\') k.erase(0, 1);
  return k;
}

class RegFileRegistry final : public Registry {
 public:
  RegFileRegistry(std::unique_ptr<FileSystem> owned, FileSystem& fs, std::string path)
      : owned_(std::move(owned)), fs_(fs), path_(std::move(path)) {}

  std::optional<std::string> ReadString(std::string_view key, std::string_view name) override {
    if (!fs_.FileExists(path_) && !fs_.DirectoryExists(path_)) return std::nullopt;
    std::string bytes;
    try {
      bytes = fs_.ReadFile(path_);
    } catch (const IoError& e) {
      throw IoError(path_ + ": cannot read the registry file", e.kind());
    }
    const size_t slash = path_.find_last_of("\\/");
    const std::string fileName = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    RegFile reg = ParseRegFile(bytes, fileName);
    const RegValue* v = reg.Find(key, name);
    if (!v) return std::nullopt;
    if (!v->isText) {
      throw ValueError(fileName + ": " + std::string(key) + "\\" + std::string(name) +
                       ": not a text value (" + v->kind + ")");
    }
    return v->text;
  }

 private:
  std::unique_ptr<FileSystem> owned_;
  FileSystem& fs_;
  std::string path_;
};

}  // namespace

std::unique_ptr<Registry> NewRegFileRegistry(std::filesystem::path file) {
  std::unique_ptr<FileSystem> host = NewHostFileSystem();
  FileSystem& fs = *host;
  return std::make_unique<RegFileRegistry>(std::move(host), fs, file.string());
}

std::unique_ptr<Registry> NewRegFileRegistry(FileSystem& fs, std::string path) {
  return std::make_unique<RegFileRegistry>(nullptr, fs, std::move(path));
}

void MemRegistry::Set(std::string_view key, std::string_view name, std::string value) {
  values_[KeyName(key) + "\\" + AsciiLowered(name)] = std::move(value);
}

std::optional<std::string> MemRegistry::ReadString(std::string_view key, std::string_view name) {
  auto it = values_.find(KeyName(key) + "\\" + AsciiLowered(name));
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

}  // namespace kve
