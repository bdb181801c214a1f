// The portable way to insert many rows: multi-row INSERT statements of one shape, which the
// connection prepares once and reuses.

#include <algorithm>
#include <cctype>
#include <map>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "platform/common/error.h"
#include "platform/db/database.h"
#include "platform/db/sql_text.h"

namespace kve {
namespace db_internal {

void RequireIdentifier(std::string_view name, std::string_view table) {
  const bool ok = !name.empty() && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_') &&
                  std::all_of(name.begin(), name.end(), [](char c) {
                    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                  });
  if (!ok) throw Error(fmt::format("insert into {}: '{}' is not a plain table or column name", table, name));
}

}  // namespace db_internal

void Database::InsertRows(std::string_view table, const std::vector<std::string>& columns,
                          const std::vector<std::vector<SqlParam>>& rows) {
  db_internal::RequireIdentifier(table, table);
  for (const std::string& c : columns) db_internal::RequireIdentifier(c, table);
  if (columns.empty()) throw Error(fmt::format("insert into {}: no columns", table));

  // SQLite looks parameter names up in time that grows with their square: small statements.
  const size_t batch = Dialect() == "sqlite" ? std::clamp<size_t>(400 / columns.size(), 1, 50)
                                             : std::clamp<size_t>(4000 / columns.size(), 1, 250);
  std::map<size_t, std::string> texts;  // statement by row count
  std::vector<SqlParam> params;
  std::vector<std::string> names;
  for (size_t r = 0; r < std::min(batch, rows.size()); ++r)
    for (size_t c = 0; c < columns.size(); ++c) names.push_back(fmt::format("R{}C{}", r, c));
  for (size_t first = 0; first < rows.size(); first += batch) {
    const size_t n = std::min(batch, rows.size() - first);
    auto text = texts.find(n);
    if (text == texts.end()) {
      std::string sql = fmt::format("INSERT INTO {} ({}) VALUES\n", table, fmt::join(columns, ", "));
      for (size_t r = 0; r < n; ++r) {
        sql += r ? ",\n(" : "(";
        for (size_t c = 0; c < columns.size(); ++c) sql += fmt::format("{}:R{}C{}", c ? ", " : "", r, c);
        sql += ')';
      }
      text = texts.emplace(n, std::move(sql)).first;
    }
    params.resize(n * columns.size());
    for (size_t r = 0; r < n; ++r) {
      const auto& row = rows[first + r];
      if (row.size() != columns.size())
        throw Error(fmt::format("insert into {}: row {} has {} values for {} columns", table, first + r + 1,
                                row.size(), columns.size()));
      for (size_t c = 0; c < columns.size(); ++c) {
        SqlParam& p = params[r * columns.size() + c];
        p = row[c];
        p.name = names[r * columns.size() + c];
        p.set = true;
      }
    }
    try {
      Run(text->second, params, nullptr);
    } catch (const Error&) {
      RethrowWithContext(fmt::format("{}: rows {} to {}", table, first + 1, first + n));
    }
  }
}

}  // namespace kve
