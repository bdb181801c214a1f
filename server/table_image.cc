#include "server/table_image.h"

#include <charconv>
#include <limits>
#include <optional>

#include "platform/common/cp1252.h"
#include "platform/common/error.h"
#include "platform/dataset/value_text.h"

namespace kve::server {
namespace {

std::string NumberText(double v) {
  char buf[400];  // fixed notation of the largest double fits
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  return std::string(buf, ec == std::errc() ? p : buf);
}

// "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss[.fff]" or with a "T" between.
std::optional<TDateTime> ParseSqlDateTime(std::string_view s) {
  auto date = ParseIsoDate(s.substr(0, 10));
  if (!date) return std::nullopt;
  if (s.size() == 10) return date;
  if (s.size() < 19 || (s[10] != ' ' && s[10] != 'T') || s[13] != ':' || s[16] != ':')
    return std::nullopt;
  auto num = [&](size_t at, size_t len) -> int {
    int v = -1;
    auto [p, ec] = std::from_chars(s.data() + at, s.data() + at + len, v);
    return ec == std::errc() && p == s.data() + at + len ? v : -1;
  };
  int h = num(11, 2), m = num(14, 2), sec = num(17, 2), ms = 0;
  if (s.size() > 19) {
    if (s[19] != '.' || s.size() == 20) return std::nullopt;
    std::string frac(s.substr(20, 3));
    frac.resize(3, '0');
    for (char c : frac) {
      if (c < '0' || c > '9') return std::nullopt;
      ms = ms * 10 + (c - '0');
    }
  }
  if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59) return std::nullopt;
  return TDateTime::FromMs(date->ms() + ((h * 60 + m) * 60 + sec) * 1000LL + ms);
}

struct Column {
  int source;       // index in the query result
  FieldDef target;  // type in the image
};

[[noreturn]] void Fail(std::string_view origin, const ImageLayout& layout, int row,
                       const std::string& column, const std::string& detail) {
  throw Error(std::string(origin) + ": " + layout.table + " row " + std::to_string(row) + ": " +
              column + ": " + detail);
}

void Convert(RowView src, const FieldDef& from, const Column& col, RowBuilder& out, int i,
             std::string_view origin, const ImageLayout& layout, int rowNo) {
  const FieldDef& to = col.target;
  int s = col.source;
  switch (to.type) {
    case FieldType::String: {
      std::string text;
      if (from.type == FieldType::String) text = std::string(src.Str(s));
      else if (from.type == FieldType::Float) text = NumberText(src.Float(s));
      else text = CellText(src, s, from);
      if (to.size > 0 && Utf8Length(text) > static_cast<size_t>(to.size))
        Fail(origin, layout, rowNo, to.name,
             "text of " + std::to_string(Utf8Length(text)) + " characters exceeds " +
                 std::to_string(to.size));
      out.SetStr(i, text);
      return;
    }
    case FieldType::Date:
    case FieldType::DateTime:
    case FieldType::Time: {
      int64_t ms = 0;
      if (from.type == FieldType::Date || from.type == FieldType::DateTime ||
          from.type == FieldType::Time) {
        ms = src.Int(s);
      } else if (from.type == FieldType::String) {
        auto v = ParseSqlDateTime(src.Str(s));
        if (!v) Fail(origin, layout, rowNo, to.name, "\"" + std::string(src.Str(s)) + "\" is not a date");
        ms = v->ms();
      } else {
        Fail(origin, layout, rowNo, to.name, "a " + std::string(FieldTypeName(from.type)) +
                                                 " value is not a date");
      }
      if (to.type == FieldType::Date) ms -= ms % kMsPerDay;
      out.SetInt(i, ms);
      return;
    }
    case FieldType::Float: {
      std::optional<double> v;
      if (from.type == FieldType::Float) v = src.Float(s);
      else if (from.type == FieldType::String) v = ParseFloatText(src.Str(s));
      else if (from.type != FieldType::Boolean) v = static_cast<double>(src.Int(s));
      if (!v) Fail(origin, layout, rowNo, to.name, "not a number");
      out.SetFloat(i, *v);
      return;
    }
    default: {  // integers and booleans
      std::optional<int64_t> v;
      if (from.type == FieldType::String) {
        std::string_view t = src.Str(s);
        int64_t x = 0;
        auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), x);
        if (ec == std::errc() && p == t.data() + t.size()) v = x;
      } else if (from.type == FieldType::Float) {
        double d = src.Float(s);
        if (d == static_cast<double>(static_cast<int64_t>(d))) v = static_cast<int64_t>(d);
      } else {
        v = src.Int(s);
      }
      if (!v) Fail(origin, layout, rowNo, to.name, "not an integer");
      if ((to.type == FieldType::Int32 &&
           (*v < std::numeric_limits<int32_t>::min() || *v > std::numeric_limits<int32_t>::max())) ||
          (to.type == FieldType::Int16 && (*v < -32768 || *v > 32767)))
        Fail(origin, layout, rowNo, to.name, std::to_string(*v) + " is out of range");
      out.SetInt(i, *v);
      return;
    }
  }
}

}  // namespace

void TypeRows(const TClientDataSet& rows, const ImageLayout& layout, std::string_view origin,
              TClientDataSet& out) {
  const auto& srcDefs = rows.FieldDefs();
  std::vector<Column> cols;
  std::vector<bool> used(srcDefs.size(), false);
  for (const FieldDef& f : layout.fields) {
    int s = rows.FindFieldIndex(f.name);
    if (s < 0)
      throw Error(std::string(origin) + ": " + layout.table + ": column " + f.name +
                  " is not selected");
    used[s] = true;
    cols.push_back({s, f});
  }
  for (size_t s = 0; s < srcDefs.size(); ++s)
    if (!used[s]) cols.push_back({static_cast<int>(s), srcDefs[s]});

  std::vector<FieldDef> defs;
  for (const auto& c : cols) defs.push_back(c.target);
  out.SetName(layout.table);
  out.Reset(std::move(defs));
  RowBuilder b(static_cast<int>(cols.size()));
  int rowNo = 0;
  for (int stored : rows.StorageOrder()) {
    ++rowNo;
    RowView src = rows.Row(stored);
    for (size_t i = 0; i < cols.size(); ++i) {
      if (src.IsNull(cols[i].source)) continue;  // the builder starts every field null
      Convert(src, srcDefs[cols[i].source], cols[i], b, static_cast<int>(i), origin, layout,
              rowNo);
    }
    out.AppendRow(b);
  }
}

std::string BuildImage(const TClientDataSet& rows, const ImageLayout& layout,
                       std::string_view origin) {
  TClientDataSet typed;
  TypeRows(rows, layout, origin, typed);
  return typed.Data();
}

std::string EmptyImage(const ImageLayout& layout) {
  TClientDataSet t(layout.table);
  t.FieldDefs() = layout.fields;
  t.CreateDataSet();
  return t.Data();
}

}  // namespace kve::server
