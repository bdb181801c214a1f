#include "server/sql_files.h"

#include <system_error>

#include "platform/common/error.h"
#include "platform/fs/file_system.h"

namespace kve::server {

SqlFiles SqlFiles::BuiltIn() {
  SqlFiles f;
  for (size_t i = 0; i < kBuiltinSqlFileCount; ++i)
    f.files_[kBuiltinSqlFiles[i].name] =
        File{kBuiltinSqlFiles[i].text, std::string("sql/") + kBuiltinSqlFiles[i].name};
  return f;
}

SqlFiles SqlFiles::WithOverrides(const std::filesystem::path& folder) {
  return WithOverrides(*NewHostFileSystem(), folder);
}

SqlFiles SqlFiles::WithOverrides(FileSystem& fs, const std::filesystem::path& folder) {
  SqlFiles f = BuiltIn();
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec), end;
  if (ec) throw IoError(folder.string() + ": " + ec.message());
  for (; it != end; it.increment(ec)) {
    if (ec) throw IoError(folder.string() + ": " + ec.message());
    const auto& path = it->path();
    if (path.extension() != ".sql" || !it->is_regular_file()) continue;
    std::string text;
    try {
      text = fs.ReadFile(path.string());
    } catch (const IoError& e) {
      throw IoError(path.string() + ": cannot be read", e.kind());
    }
    f.files_[path.filename().string()] = File{std::move(text), path.string()};
  }
  return f;
}

const SqlFiles::File* SqlFiles::Find(std::string_view name, std::string_view dialect) const {
  std::string specific = std::string(name) + "." + std::string(dialect) + ".sql";
  if (auto it = files_.find(specific); it != files_.end()) return &it->second;
  if (auto it = files_.find(std::string(name) + ".sql"); it != files_.end()) return &it->second;
  return nullptr;
}

const std::string& SqlFiles::Text(std::string_view name, std::string_view dialect) const {
  if (const File* f = Find(name, dialect)) return f->text;
  throw Error("sql/" + std::string(name) + ".sql: no such server SQL file");
}

std::string SqlFiles::Origin(std::string_view name, std::string_view dialect) const {
  if (const File* f = Find(name, dialect)) return f->origin;
  return "sql/" + std::string(name) + ".sql";
}

}  // namespace kve::server
