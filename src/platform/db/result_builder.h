#pragma once
// From engine rows to a typed dataset: the column types the engines report, the text forms
// of dates they exchange, and the builder that turns one result into fields and rows.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dataset/dataset.h"
#include "platform/db/database.h"

namespace kve::db_internal {

using ColumnInfo = ResultColumn;

// SQLite declared types ("VARCHAR(30)", "NUMERIC(15,3)", "TIMESTAMP"). A declaration that
// names no known type leaves the column untyped.
ColumnInfo ColumnFromDeclaration(std::string name, std::string_view declared);
// PostgreSQL type OIDs with their type modifier (varchar(n) carries n + 4).
ColumnInfo ColumnFromPgType(std::string name, unsigned oid, int typmod);

// "yyyy-mm-dd", optionally followed by " hh:mm:ss[.fraction]" (or "T"); a zone suffix is
// ignored. Fractions beyond milliseconds are cut.
std::optional<TDateTime> ParseSqlDateTime(std::string_view s);
std::optional<TDateTime> ParseSqlTime(std::string_view s);  // "hh:mm:ss[.fraction]"
std::string SqlDateText(TDateTime v);                       // yyyy-mm-dd
std::string SqlDateTimeText(TDateTime v);                   // yyyy-mm-dd hh:mm:ss[.mmm]

// Collects one result's rows, then replaces a dataset's fields and rows with them. Values
// are converted to the column's type; one that does not fit raises FormatError or
// ValueError naming `context`, the column and the row.
class ResultBuilder {
 public:
  ResultBuilder(std::vector<ColumnInfo> columns, std::string context);

  void SetNull(int i);
  void SetInt(int i, int64_t v);
  void SetFloat(int i, double v);
  void SetText(int i, std::string_view v);  // parsed when the column is not text
  void EndRow();
  int RowCount() const { return static_cast<int>(blocks_.size()); }

  // Fields: text columns of unknown width get the longest value's length (at least 1).
  void Finish(TClientDataSet& into);

 private:
  [[noreturn]] void Fail(int i, const std::string& what, bool format) const;
  void Resolve(int i, FieldType t);
  void PromoteToFloat(int i);
  void PutText(int i, std::string_view v);

  std::vector<ColumnInfo> cols_;
  std::vector<bool> dynamic_;  // typed by its values (SQLite expressions)
  std::string context_;
  std::vector<int> longest_;
  RowBuilder row_;
  std::vector<std::string> blocks_;
};

// Gathers the rows an engine hands over into a dataset (what Database::Run does).
class DatasetReceiver final : public RowReceiver {
 public:
  void Begin(std::vector<ResultColumn> columns, std::string context) override {
    rows_.emplace(std::move(columns), std::move(context));
  }
  void Null(int i) override { rows_->SetNull(i); }
  void Int(int i, int64_t v) override { rows_->SetInt(i, v); }
  void Float(int i, double v) override { rows_->SetFloat(i, v); }
  void Text(int i, std::string_view v) override { rows_->SetText(i, v); }
  void EndRow() override { rows_->EndRow(); }
  // Replaces `into`'s fields and rows, when the statement yielded any.
  void Finish(TClientDataSet& into) {
    if (rows_) rows_->Finish(into);
  }

 private:
  std::optional<ResultBuilder> rows_;
};

}  // namespace kve::db_internal
