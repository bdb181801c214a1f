#include "platform/dataset/value_text.h"

#include <charconv>
#include <cstdio>
#include <string>

#include "platform/common/ascii.h"

namespace kve {
namespace {

std::string FormatTime(CivilTime t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buf;
}

bool ParseNumber(std::string_view s, int& out) {
  if (s.empty() || s.size() > 4) return false;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size();
}

}  // namespace

std::string FormatDateTimeText(TDateTime v) {
  std::string s = FormatDate(v);
  if (v.msOfDay() != 0) {
    s += ' ';
    s += FormatTime(v.time());
  }
  return s;
}

std::optional<TDateTime> ParseDateTimeText(std::string_view s) {
  s = Trim(s);
  const size_t sp = s.find(' ');
  auto date = ParseDate(s.substr(0, sp));
  if (!date) return std::nullopt;
  if (sp == std::string_view::npos) return date;
  std::string_view t = Trim(s.substr(sp + 1));
  int parts[3] = {0, 0, 0};
  for (int k = 0; k < 3 && !t.empty(); ++k) {
    const size_t c = t.find(':');
    if (!ParseNumber(t.substr(0, c), parts[k])) return std::nullopt;
    t = c == std::string_view::npos ? std::string_view{} : t.substr(c + 1);
  }
  if (!t.empty() || parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return std::nullopt;
  return TDateTime::FromMs(date->ms() + ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * int64_t{1000});
}

std::string FormatFloatText(double v) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, ec == std::errc() ? p : buf);
}

std::optional<double> ParseFloatText(std::string_view s) {
  std::string t(Trim(s));
  for (char& c : t)
    if (c == ',') c = '.';
  if (t.empty()) return std::nullopt;
  double v = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || p != t.data() + t.size()) return std::nullopt;
  return v;
}

std::optional<bool> ParseBoolText(std::string_view s) {
  s = Trim(s);
  auto is = [&](std::string_view w) {
    if (s.size() != w.size()) return false;
    for (size_t i = 0; i < s.size(); ++i)
      if (std::toupper(static_cast<unsigned char>(s[i])) != w[i]) return false;
    return true;
  };
  if (is("TRUE") || is("T") || is("1")) return true;
  if (is("FALSE") || is("F") || is("0")) return false;
  return std::nullopt;
}

std::string CellText(RowView row, int i, const FieldDef& def) {
  switch (def.type) {
    case FieldType::String:
      return std::string(row.Str(i));
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Int64:
      return std::to_string(row.Int(i));
    case FieldType::Float:
      return FormatFloatText(row.Float(i));
    case FieldType::Boolean:
      return row.Int(i) ? "True" : "False";
    case FieldType::Date:
      return FormatDate(TDateTime::FromMs(row.Int(i)));
    case FieldType::Time:
      return FormatTime(TDateTime::FromMs(row.Int(i)).time());
    case FieldType::DateTime:
      return FormatDateTimeText(TDateTime::FromMs(row.Int(i)));
  }
  return {};
}

int CompareCells(RowView a, RowView b, int i, const FieldDef& def) {
  const bool na = a.IsNull(i), nb = b.IsNull(i);
  if (na || nb) return nb - na;
  switch (def.type) {
    case FieldType::String: {
      const int c = a.Str(i).compare(b.Str(i));
      return (c > 0) - (c < 0);
    }
    case FieldType::Float: {
      const double x = a.Float(i), y = b.Float(i);
      return (x > y) - (x < y);
    }
    default: {
      const int64_t x = a.Int(i), y = b.Int(i);
      return (x > y) - (x < y);
    }
  }
}

}  // namespace kve
