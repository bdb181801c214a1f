#include "server/sql_params.h"

#include <cctype>

#include "platform/common/error.h"

namespace kve::server {
namespace {

SqlParam Param(std::string name, SqlParam::Kind kind) {
  SqlParam p;
  p.name = std::move(name);
  p.kind = kind;
  return p;
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Calls `on(begin, end)` for every :P_ parameter token of `sql` (begin at the colon).
template <typename F>
void ScanParameters(std::string_view sql, F&& on) {
  size_t i = 0, n = sql.size();
  while (i < n) {
    char c = sql[i];
    if (c == '\'' || c == '"') {  // literal or quoted identifier; a doubled quote stays inside
      for (++i; i < n; ++i) {
        if (sql[i] == c) {
          if (i + 1 < n && sql[i + 1] == c) ++i;
          else break;
        }
      }
      ++i;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      size_t end = sql.find("*/", i + 2);
      i = end == std::string_view::npos ? n : end + 2;
    } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
      i += 2;  // a cast
    } else if (c == ':' && i + 2 < n && sql[i + 1] == 'P' && sql[i + 2] == '_' &&
               (i == 0 || !IsNameChar(sql[i - 1]))) {
      size_t end = i + 3;
      while (end < n && IsNameChar(sql[end])) ++end;
      on(i, end);
      i = end;
    } else {
      ++i;
    }
  }
}

}  // namespace

std::vector<std::string> ParameterNames(std::string_view sql) {
  std::vector<std::string> names;
  ScanParameters(sql, [&](size_t b, size_t e) {
    std::string name(sql.substr(b + 1, e - b - 1));
    for (const auto& n : names)
      if (n == name) return;
    names.push_back(std::move(name));
  });
  return names;
}

void SqlValues::SetText(std::string name, std::string value) {
  SqlParam p = Param(name, SqlParam::Kind::Text);
  p.text = std::move(value);
  scalars_[std::move(name)] = std::move(p);
}

void SqlValues::SetInteger(std::string name, int64_t value) {
  SqlParam p = Param(name, SqlParam::Kind::Integer);
  p.integer = value;
  scalars_[std::move(name)] = std::move(p);
}

void SqlValues::SetDate(std::string name, TDateTime value) {
  SqlParam p = Param(name, SqlParam::Kind::Date);
  p.when = value.DateOnly();
  scalars_[std::move(name)] = std::move(p);
}

void SqlValues::SetDateTime(std::string name, TDateTime value) {
  SqlParam p = Param(name, SqlParam::Kind::DateTime);
  p.when = value;
  scalars_[std::move(name)] = std::move(p);
}

void SqlValues::SetList(std::string name, std::vector<std::string> values) {
  lists_[std::move(name)] = std::move(values);
}

SqlValues::Prepared SqlValues::Prepare(std::string_view sql, std::string_view origin) const {
  Prepared out;
  size_t copied = 0;
  auto bound = [&](const std::string& name) {
    for (const auto& p : out.params)
      if (p.name == name) return true;
    return false;
  };
  ScanParameters(sql, [&](size_t b, size_t e) {
    std::string name(sql.substr(b + 1, e - b - 1));
    if (auto l = lists_.find(name); l != lists_.end()) {
      out.sql.append(sql.substr(copied, b - copied));
      copied = e;
      size_t count = l->second.empty() ? 1 : l->second.size();
      for (size_t k = 0; k < count; ++k) {
        std::string item = name + std::to_string(k + 1);
        out.sql += (k ? ", :" : ":") + item;
        if (bound(item)) continue;
        SqlParam p = Param(item, l->second.empty() ? SqlParam::Kind::Null : SqlParam::Kind::Text);
        if (!l->second.empty()) p.text = l->second[k];
        out.params.push_back(std::move(p));
      }
      return;
    }
    auto s = scalars_.find(name);
    if (s == scalars_.end())
      throw Error(std::string(origin) + ": parameter :" + name + " has no value in this call");
    if (!bound(name)) out.params.push_back(s->second);
  });
  out.sql.append(sql.substr(copied));
  return out;
}

}  // namespace kve::server
