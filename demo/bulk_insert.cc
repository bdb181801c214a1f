#include "demo/bulk_insert.h"

#include <algorithm>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "platform/common/error.h"
#include "platform/db/error_context.h"

namespace kve::demo {

BulkInserter::BulkInserter(Database& db, std::string table, std::vector<std::string> columns)
    : db_(db),
      table_(std::move(table)),
      columns_(std::move(columns)),
      // A few hundred rows per statement leave PostgreSQL's per-statement round trip behind.
      // SQLite has no round trip, and its look-up of parameter names grows with their
      // square, so it gets small statements.
      batch_(db.Dialect() == "sqlite" ? std::clamp<size_t>(400 / columns_.size(), 1, 50)
                                      : std::clamp<size_t>(4000 / columns_.size(), 1, 250)) {}

std::string BulkInserter::Statement(size_t rows) const {
  std::string sql = fmt::format("INSERT INTO {} ({}) VALUES\n", table_, fmt::join(columns_, ", "));
  for (size_t r = 0; r < rows; ++r) {
    sql += r ? ",\n(" : "(";
    for (size_t c = 0; c < columns_.size(); ++c) {
      if (c) sql += ", ";
      sql += fmt::format(":R{}C{}", r, c);
    }
    sql += ')';
  }
  return sql;
}

void BulkInserter::Add(std::vector<Value> row) {
  if (row.size() != columns_.size())
    throw Error(fmt::format("{}: row {} has {} values for {} columns", table_, count_ + pending_.size() + 1,
                            row.size(), columns_.size()));
  pending_.push_back(std::move(row));
  if (pending_.size() >= batch_) Flush();
}

void BulkInserter::Flush() {
  if (pending_.empty()) return;
  const size_t rows = pending_.size();
  auto text = texts_.find(rows);
  if (text == texts_.end()) text = texts_.emplace(rows, Statement(rows)).first;
  params_.resize(rows * columns_.size());
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < columns_.size(); ++c) {
      SqlParam& p = params_[r * columns_.size() + c];
      Value& v = pending_[r][c];
      if (p.name.empty()) p.name = fmt::format("R{}C{}", r, c);
      p.kind = v.kind;
      p.text = std::move(v.text);
      p.integer = v.integer;
      p.real = v.real;
      p.when = v.when;
    }
  }
  try {
    db_.Run(text->second, params_, nullptr);
  } catch (const Error&) {
    RethrowWithContext(fmt::format("{}: rows {} to {}", table_, count_ + 1, count_ + rows));
  }
  count_ += static_cast<int64_t>(rows);
  pending_.clear();
}

}  // namespace kve::demo
