#include "demo/bulk_insert.h"

#include <fmt/format.h>

#include "platform/common/error.h"

namespace kve::demo {

namespace {
constexpr size_t kBatchRows = 5000;
}  // namespace

SqlParam Value::Param() && {
  SqlParam p;
  p.kind = kind;
  p.text = std::move(text);
  p.integer = integer;
  p.real = real;
  p.when = when;
  return p;
}

BulkInserter::BulkInserter(Database& db, std::string table, std::vector<std::string> columns)
    : db_(db), table_(std::move(table)), columns_(std::move(columns)) {}

void BulkInserter::Add(std::vector<Value> row) {
  if (row.size() != columns_.size())
    throw Error(fmt::format("{}: row {} has {} values for {} columns", table_, count_ + pending_.size() + 1,
                            row.size(), columns_.size()));
  std::vector<SqlParam> params;
  params.reserve(row.size());
  for (Value& v : row) params.push_back(std::move(v).Param());
  pending_.push_back(std::move(params));
  if (pending_.size() >= kBatchRows) Flush();
}

void BulkInserter::Flush() {
  if (pending_.empty()) return;
  db_.InsertRows(table_, columns_, pending_);
  count_ += static_cast<int64_t>(pending_.size());
  pending_.clear();
}

}  // namespace kve::demo
