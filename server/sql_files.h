#pragma once
// The SQL texts of the application server. Each exported table is one file,
// NN_TABLE.sql (NN its slot in the GetTabelas answer), plus a few files for the other methods.
// A file NAME.<dialect>.sql ("sqlite", "postgresql") replaces NAME.sql on that engine; the
// reference files need none. The texts are built into the server; a site that adapts them
// points the server at a folder whose files replace the built-in ones by name.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kve {
class FileSystem;
}

namespace kve::server {

class SqlFiles {
 public:
  // The files of server/sql/ as they were at build time.
  static SqlFiles BuiltIn();
  // The built-in files, with every *.sql file of `folder` replacing or adding to them.
  // Raises IoError naming the folder or file that cannot be read.
  static SqlFiles WithOverrides(const std::filesystem::path& folder);  // host files
  static SqlFiles WithOverrides(FileSystem& fs, const std::filesystem::path& folder);

  // The text of `name` (without extension) for `dialect`. Raises Error naming the file when
  // neither variant exists.
  const std::string& Text(std::string_view name, std::string_view dialect) const;
  // Where a text came from, for error messages ("sql/08_PRODUTO.sql").
  std::string Origin(std::string_view name, std::string_view dialect) const;

  size_t size() const { return files_.size(); }

 private:
  struct File {
    std::string text;
    std::string origin;
  };
  const File* Find(std::string_view name, std::string_view dialect) const;
  std::map<std::string, File, std::less<>> files_;  // by file name, e.g. "08_PRODUTO.sql"
};

// The built-in copy, generated at build time from server/sql/ (sql_builtin.cmake).
struct BuiltinSqlFile {
  const char* name;
  const char* text;
};
extern const BuiltinSqlFile kBuiltinSqlFiles[];
extern const size_t kBuiltinSqlFileCount;

}  // namespace kve::server
