#include "platform/registry/registry.h"

#include <fstream>
#include <sstream>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
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
  explicit RegFileRegistry(std::filesystem::path file) : file_(std::move(file)) {}

  std::optional<std::string> ReadString(std::string_view key, std::string_view name) override {
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) return std::nullopt;
    std::ifstream in(file_, std::ios::binary);
    if (!in) throw IoError(file_.string() + ": cannot read the registry file");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string fileName = file_.filename().string();
    RegFile reg = ParseRegFile(bytes.str(), fileName);
    const RegValue* v = reg.Find(key, name);
    if (!v) return std::nullopt;
    if (!v->isText) {
      throw ValueError(fileName + ": " + std::string(key) + "\\" + std::string(name) +
                       ": not a text value (" + v->kind + ")");
    }
    return v->text;
  }

 private:
  std::filesystem::path file_;
};

}  // namespace

std::unique_ptr<Registry> NewRegFileRegistry(std::filesystem::path file) {
  return std::make_unique<RegFileRegistry>(std::move(file));
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
