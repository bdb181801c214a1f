#include "platform/db/result_builder.h"

#include <charconv>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "platform/common/ascii.h"
#include "platform/common/cp1252.h"
#include "platform/common/error.h"
#include "platform/common/exact_integer.h"
#include "platform/db/sql_text.h"

namespace kve::db_internal {
namespace {

int DeclaredWidth(std::string_view decl) {
  const size_t open = decl.find('(');
  if (open == std::string_view::npos) return 0;
  int w = 0;
  const char* b = decl.data() + open + 1;
  const auto [p, ec] = std::from_chars(b, decl.data() + decl.size(), w);
  return ec == std::errc() && p != b && w > 0 ? w : 0;
}

bool Has(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

template <typename T>
bool ParseNumber(std::string_view s, T* out) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return !s.empty() && ec == std::errc() && p == s.data() + s.size();
}

bool Digits(std::string_view s, size_t at, size_t n, int* out) {
  if (at + n > s.size()) return false;
  int v = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

// "hh:mm:ss[.fraction]" at the start of s; the rest must be empty or a zone.
std::optional<CivilTime> ParseClock(std::string_view s) {
  CivilTime t;
  if (!Digits(s, 0, 2, &t.hour) || s.size() < 8 || s[2] != ':' || !Digits(s, 3, 2, &t.minute) ||
      s[5] != ':' || !Digits(s, 6, 2, &t.second))
    return std::nullopt;
  size_t i = 8;
  if (i < s.size() && s[i] == '.') {
    int scale = 100;
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, scale /= 10) t.msec += (s[i] - '0') * scale;
  }
  if (i < s.size() && s[i] != '+' && s[i] != '-' && s[i] != 'Z') return std::nullopt;
  if (t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
  return t;
}

}  // namespace

ColumnInfo ColumnFromDeclaration(std::string name, std::string_view declared) {
  ColumnInfo c;
  c.name = std::move(name);
  const std::string d = AsciiUppered(declared);
  if (Has(d, "CHAR") || Has(d, "CLOB") || Has(d, "TEXT")) {
    c.type = FieldType::String;
    c.width = DeclaredWidth(d);
    c.fixed = !Has(d, "VAR") && !Has(d, "TEXT") && !Has(d, "CLOB") && c.width > 0;
  } else if (Has(d, "BOOL")) {
    c.type = FieldType::Boolean;
  } else if (Has(d, "BIGINT") || Has(d, "INT8")) {
    c.type = FieldType::Int64;
  } else if (Has(d, "SMALLINT") || Has(d, "INT2")) {
    c.type = FieldType::Int16;
  } else if (Has(d, "INT")) {
    c.type = FieldType::Int32;
  } else if (Has(d, "TIMESTAMP") || Has(d, "DATETIME")) {
    c.type = FieldType::DateTime;
  } else if (Has(d, "DATE")) {
    c.type = FieldType::Date;
  } else if (Has(d, "TIME")) {
    c.type = FieldType::Time;
  } else if (Has(d, "REAL") || Has(d, "FLOA") || Has(d, "DOUB") || Has(d, "NUMERIC") ||
             Has(d, "DECIMAL")) {
    c.type = FieldType::Float;
  } else {
    c.typed = false;
  }
  return c;
}

ColumnInfo ColumnFromPgType(std::string name, unsigned oid, int typmod) {
  ColumnInfo c;
  c.name = std::move(name);
  switch (oid) {
    case 16: c.type = FieldType::Boolean; break;
    case 20: c.type = FieldType::Int64; break;
    case 21: c.type = FieldType::Int16; break;
    case 23: case 26: c.type = FieldType::Int32; break;
    case 700: case 701: case 1700: c.type = FieldType::Float; break;
    case 1082: c.type = FieldType::Date; break;
    case 1083: c.type = FieldType::Time; break;
    case 1114: case 1184: c.type = FieldType::DateTime; break;
    case 18: c.width = 1; c.fixed = true; break;   // "char"
    case 19: c.width = 63; break;                  // name
    case 1042:                                     // char(n)
      c.width = typmod > 4 ? typmod - 4 : 0;
      c.fixed = c.width > 0;
      break;
    case 1043: c.width = typmod > 4 ? typmod - 4 : 0; break;  // varchar(n)
    default: break;  // text, unknown and everything else read as text of unknown width
  }
  return c;
}

std::optional<TDateTime> ParseSqlDateTime(std::string_view s) {
  CivilDate d;
  if (!Digits(s, 0, 4, &d.year) || s.size() < 10 || s[4] != '-' || !Digits(s, 5, 2, &d.month) ||
      s[7] != '-' || !Digits(s, 8, 2, &d.day) || !IsValidDate(d.year, d.month, d.day))
    return std::nullopt;
  if (s.size() == 10) return TDateTime::FromDate(d);
  if (s[10] != ' ' && s[10] != 'T') return std::nullopt;
  const auto t = ParseClock(s.substr(11));
  if (!t) return std::nullopt;
  return TDateTime::FromDate(d, *t);
}

std::optional<TDateTime> ParseSqlTime(std::string_view s) {
  const auto t = ParseClock(s);
  if (!t) return std::nullopt;
  return TDateTime::FromMs(((int64_t{t->hour} * 60 + t->minute) * 60 + t->second) * 1000 + t->msec);
}

std::string SqlDateText(TDateTime v) {
  const CivilDate d = v.date();
  return fmt::format("{:04}-{:02}-{:02}", d.year, d.month, d.day);
}

std::string SqlDateTimeText(TDateTime v) {
  const CivilTime t = v.time();
  std::string s = fmt::format("{} {:02}:{:02}:{:02}", SqlDateText(v), t.hour, t.minute, t.second);
  if (t.msec != 0) s += fmt::format(".{:03}", t.msec);
  return s;
}

// ---------------------------------------------------------------- ResultBuilder

ResultBuilder::ResultBuilder(std::vector<ColumnInfo> columns, std::string context)
    : cols_(std::move(columns)),
      context_(std::move(context)),
      longest_(cols_.size(), 0),
      row_(static_cast<int>(cols_.size())) {
  for (const ColumnInfo& c : cols_) dynamic_.push_back(!c.typed);
}

void ResultBuilder::Fail(int i, const std::string& what, bool format) const {
  const std::string msg =
      fmt::format("{}: column {}, row {}: {}", context_, cols_[i].name, blocks_.size() + 1, what);
  if (format) throw FormatError(msg);
  throw ValueError(msg);
}

void ResultBuilder::Resolve(int i, FieldType t) {
  cols_[i].type = t;
  cols_[i].typed = true;
}

// SQLite keeps a NUMERIC value without fraction as an integer, so a computed column (SUM,
// MIN, arithmetic on quantities) can hold integers in some rows and reals in others. The
// first real turns the column into a float column, rows already gathered included.
void ResultBuilder::PromoteToFloat(int i) {
  cols_[i].type = FieldType::Float;
  const int n = static_cast<int>(cols_.size());
  RowBuilder rb(n);
  std::vector<FieldDef> defs(cols_.size());  // only the String/non-String split matters here
  for (size_t c = 0; c < cols_.size(); ++c) defs[c].type = cols_[c].typed ? cols_[c].type : FieldType::String;
  for (std::string& b : blocks_) {
    const RowView view(reinterpret_cast<const uint8_t*>(b.data()), n);
    if (view.IsNull(i)) continue;
    rb.LoadFrom(view, defs);
    rb.SetFloat(i, static_cast<double>(view.Int(i)));
    b = rb.Take();
  }
}

void ResultBuilder::SetNull(int i) { row_.SetNull(i); }

void ResultBuilder::SetInt(int i, int64_t v) {
  if (!cols_[i].typed) Resolve(i, FieldType::Int64);
  switch (cols_[i].type) {
    case FieldType::Int16:
      if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max())
        Fail(i, fmt::format("{} does not fit a 16-bit integer", v), false);
      row_.SetInt(i, v);
      break;
    case FieldType::Int32:
      if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        Fail(i, fmt::format("{} does not fit a 32-bit integer", v), false);
      row_.SetInt(i, v);
      break;
    case FieldType::Int64: row_.SetInt(i, v); break;
    case FieldType::Boolean: row_.SetInt(i, v != 0); break;
    case FieldType::Float: row_.SetFloat(i, static_cast<double>(v)); break;
    case FieldType::String: PutText(i, std::to_string(v)); break;
    default: Fail(i, fmt::format("number {} where a date or time is expected", v), true);
  }
}

void ResultBuilder::SetFloat(int i, double v) {
  if (!cols_[i].typed) Resolve(i, FieldType::Float);
  if (dynamic_[i] && cols_[i].type == FieldType::Int64) PromoteToFloat(i);
  switch (cols_[i].type) {
    case FieldType::Float: row_.SetFloat(i, v); break;
    case FieldType::Boolean: row_.SetInt(i, v != 0); break;
    case FieldType::String: PutText(i, fmt::format("{}", v)); break;
    case FieldType::Int16: case FieldType::Int32: case FieldType::Int64:
      if (auto n = ToExactInteger<int64_t>(v))
        SetInt(i, *n);
      else
        Fail(i, fmt::format("{} is not an integer", v), true);
      break;
    default: Fail(i, fmt::format("number {} where a date or time is expected", v), true);
  }
}

void ResultBuilder::SetText(int i, std::string_view v) {
  if (!cols_[i].typed) Resolve(i, FieldType::String);
  switch (cols_[i].type) {
    case FieldType::String: PutText(i, v); return;
    case FieldType::Int16: case FieldType::Int32: case FieldType::Int64: {
      int64_t n = 0;
      if (!ParseNumber(v, &n)) Fail(i, fmt::format("'{}' is not an integer", v), true);
      SetInt(i, n);
      return;
    }
    case FieldType::Float: {
      double d = 0;
      if (!ParseNumber(v, &d)) Fail(i, fmt::format("'{}' is not a number", v), true);
      row_.SetFloat(i, d);
      return;
    }
    case FieldType::Boolean: {
      const std::string u = AsciiUppered(v);
      if (u == "T" || u == "TRUE" || u == "1" || u == "S") row_.SetInt(i, 1);
      else if (u == "F" || u == "FALSE" || u == "0" || u == "N") row_.SetInt(i, 0);
      else Fail(i, fmt::format("'{}' is not a boolean", v), true);
      return;
    }
    case FieldType::Date: case FieldType::DateTime: {
      const auto t = ParseSqlDateTime(v);
      if (!t) Fail(i, fmt::format("'{}' is not a date", v), true);
      row_.SetInt(i, cols_[i].type == FieldType::Date ? t->DateOnly().ms() : t->ms());
      return;
    }
    case FieldType::Time: {
      const auto t = ParseSqlTime(v);
      if (!t) Fail(i, fmt::format("'{}' is not a time", v), true);
      row_.SetInt(i, t->ms());
      return;
    }
  }
}

void ResultBuilder::PutText(int i, std::string_view v) {
  const int len = static_cast<int>(Utf8Length(v));
  if (cols_[i].width > 0 && len > cols_[i].width)
    Fail(i, fmt::format("'{}' is longer than the column's {} characters", v, cols_[i].width), false);
  if (len > longest_[i]) longest_[i] = len;
  row_.SetStr(i, v);
}

void ResultBuilder::EndRow() { blocks_.push_back(row_.Take()); }

void ResultBuilder::Finish(TClientDataSet& into) {
  std::vector<FieldDef> defs;
  defs.reserve(cols_.size());
  for (size_t i = 0; i < cols_.size(); ++i) {
    const ColumnInfo& c = cols_[i];
    FieldDef d;
    d.name = c.name;
    d.type = c.typed ? c.type : FieldType::String;
    if (d.type == FieldType::String) {
      d.size = c.width > 0 ? c.width : std::max(1, longest_[i]);
      d.fixed = c.fixed;
    }
    defs.push_back(std::move(d));
  }
  into.Reset(defs);
  RowBuilder rb(static_cast<int>(defs.size()));
  for (std::string& b : blocks_) {
    rb.LoadFrom(RowView(reinterpret_cast<const uint8_t*>(b.data()), static_cast<int>(defs.size())), defs);
    into.AppendRow(rb);
    std::string().swap(b);
  }
  blocks_.clear();
  into.First();
}

}  // namespace kve::db_internal
