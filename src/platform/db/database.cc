#include "platform/db/database.h"

#include <fmt/format.h>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/db/engine_util.h"
#include "platform/db/pg_database.h"
#include "platform/db/result_builder.h"
#include "platform/db/sql_text.h"
#include "platform/db/sqlite_database.h"

namespace kve {

std::unique_ptr<Database> Database::Open(std::string_view url, bool createFile) {
  using namespace db_internal;
  if (url.starts_with("sqlite:")) {
    const std::string path(url.substr(7));
    if (path.empty()) throw Error("database URL 'sqlite:' names no file");
    return OpenSqlite(path, createFile);
  }
  if (url.starts_with("postgresql://") || url.starts_with("postgres://")) return OpenPostgres(std::string(url));
  throw Error(fmt::format("database URL '{}': expected sqlite:PATH or postgresql://...", RedactUrl(url)));
}

void Database::RunRows(std::string_view sql, const std::vector<SqlParam>& params, RowReceiver& rows) {
  using namespace db_internal;
  TClientDataSet all;
  Run(sql, params, &all);
  if (all.FieldCount() == 0) return;
  const auto& defs = all.FieldDefs();
  std::vector<ResultColumn> cols;
  for (const FieldDef& d : defs)
    cols.push_back({d.name, d.type, d.type == FieldType::String ? d.size : 0, d.fixed, true});
  rows.Begin(std::move(cols), std::string(FirstLine(sql)));
  for (int stored : all.StorageOrder()) {
    const RowView row = all.Row(stored);
    for (int i = 0; i < static_cast<int>(defs.size()); ++i) {
      if (row.IsNull(i)) {
        rows.Null(i);
        continue;
      }
      switch (defs[i].type) {
        case FieldType::String: rows.Text(i, row.Str(i)); break;
        case FieldType::Float: rows.Float(i, row.Float(i)); break;
        case FieldType::Date: rows.Text(i, SqlDateText(TDateTime::FromMs(row.Int(i)))); break;
        case FieldType::DateTime: rows.Text(i, SqlDateTimeText(TDateTime::FromMs(row.Int(i)))); break;
        case FieldType::Time:
          rows.Text(i, SqlDateTimeText(TDateTime::FromMs(row.Int(i))).substr(11));
          break;
        default: rows.Int(i, row.Int(i));
      }
    }
    rows.EndRow();
  }
}

namespace db_internal {

const SqlParam& ParamIndex::Require(std::string_view name, const std::string& context, size_t hint) const {
  const SqlParam* found = nullptr;
  if (hint < params_.size() && EqualsIgnoreCase(params_[hint].name, name)) {
    found = &params_[hint];
  } else if (params_.size() <= 16) {
    for (const SqlParam& p : params_)
      if (EqualsIgnoreCase(p.name, name)) {
        found = &p;
        break;
      }
  } else {
    if (byName_.empty())
      for (size_t i = params_.size(); i-- > 0;) byName_[AsciiUppered(params_[i].name)] = i;  // first one wins
    if (auto it = byName_.find(AsciiUppered(name)); it != byName_.end()) found = &params_[it->second];
  }
  if (found == nullptr || !found->set) throw Error(fmt::format("{}: parameter {} has no value", context, name));
  return *found;
}

}  // namespace db_internal

// ---------------------------------------------------------------- TADOIBQuery

TADOIBQuery::TADOIBQuery(Database& db, std::string name) : db_(db), rows_(std::move(name)) {}

void TADOIBQuery::SetSQL(std::string_view sql) {
  Close();
  sql_ = std::string(sql);
}

void TADOIBQuery::SetSQL(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += '\n';
    text += lines[i];
  }
  SetSQL(text);
}

TADOIBQuery::Param TADOIBQuery::ParamByName(std::string_view name) {
  for (size_t i = 0; i < params_.size(); ++i)
    if (EqualsIgnoreCase(params_[i].name, name)) return Param(params_, i);
  SqlParam p;
  p.name = std::string(name);
  p.set = false;
  params_.push_back(std::move(p));
  return Param(params_, params_.size() - 1);
}

void TADOIBQuery::Param::SetAsString(std::string_view v) {
  p().kind = SqlParam::Kind::Text;
  p().text = std::string(v);
  p().set = true;
}
void TADOIBQuery::Param::SetAsInteger(int64_t v) {
  p().kind = SqlParam::Kind::Integer;
  p().integer = v;
  p().set = true;
}
void TADOIBQuery::Param::SetAsFloat(double v) {
  p().kind = SqlParam::Kind::Float;
  p().real = v;
  p().set = true;
}
void TADOIBQuery::Param::SetAsDate(TDateTime v) {
  p().kind = SqlParam::Kind::Date;
  p().when = v.DateOnly();
  p().set = true;
}
void TADOIBQuery::Param::SetAsDateTime(TDateTime v) {
  p().kind = SqlParam::Kind::DateTime;
  p().when = v;
  p().set = true;
}
void TADOIBQuery::Param::Clear() {
  p().kind = SqlParam::Kind::Null;
  p().set = true;
}

void TADOIBQuery::Open() {
  Close();
  try {
    db_.Run(sql_, params_, &rows_);
  } catch (const Error&) {
    RethrowWithContext(rows_.Name());
  }
  if (!rows_.Active()) rows_.Reset({});  // a statement without rows opens empty
  rows_.First();
}

void TADOIBQuery::ExecSQL() {
  try {
    db_.Run(sql_, params_, nullptr);
  } catch (const Error&) {
    RethrowWithContext(rows_.Name());
  }
}

void TADOIBQuery::Close() {
  if (rows_.Active()) rows_.Close();
}

}  // namespace kve
