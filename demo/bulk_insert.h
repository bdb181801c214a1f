#pragma once
// Gathers rows for one table and hands them to the connection's bulk insert in batches.

#include <string>
#include <vector>

#include "platform/db/database.h"

namespace kve::demo {

// One value of a row; converts from the types the demo uses.
struct Value {
  SqlParam::Kind kind = SqlParam::Kind::Null;
  std::string text;
  int64_t integer = 0;
  double real = 0;
  TDateTime when;

  Value() = default;
  Value(const char* v) : kind(SqlParam::Kind::Text), text(v) {}
  Value(std::string v) : kind(SqlParam::Kind::Text), text(std::move(v)) {}
  Value(int v) : kind(SqlParam::Kind::Integer), integer(v) {}
  Value(int64_t v) : kind(SqlParam::Kind::Integer), integer(v) {}
  Value(double v) : kind(SqlParam::Kind::Float), real(v) {}
  SqlParam Param() &&;
  static Value Date(TDateTime d) { return Value(SqlParam::Kind::Date, d.DateOnly()); }
  static Value DateTime(TDateTime d) { return Value(SqlParam::Kind::DateTime, d); }

 private:
  Value(SqlParam::Kind k, TDateTime d) : kind(k), when(d) {}
};

class BulkInserter {
 public:
  // REQUIRES: `columns` not empty. Rows go out in batches; Flush sends the last one.
  BulkInserter(Database& db, std::string table, std::vector<std::string> columns);
  void Add(std::vector<Value> row);  // one value per column, in order
  void Flush();
  int64_t Count() const { return count_; }
  const std::string& Table() const { return table_; }

 private:
  Database& db_;
  std::string table_;
  std::vector<std::string> columns_;
  std::vector<std::vector<SqlParam>> pending_;
  int64_t count_ = 0;
};

}  // namespace kve::demo
