#include "server/table_image.h"

#include <charconv>
#include <limits>
#include <optional>

#include <fmt/format.h>

#include <cmath>

#include "platform/common/ascii.h"
#include "platform/common/cp1252.h"
#include "platform/db/result_builder.h"
#include "platform/common/error.h"
#include "platform/common/exact_integer.h"
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
        v = ToExactInteger<int64_t>(src.Float(s));
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

// ---------------------------------------------------------------- ImageWriter

struct ImageWriter::Source {
  ResultColumn col;  // as the engine typed it; an untyped one takes the type of its first value
  bool dynamic = false;
  int target = 0;    // the field of the image
  FieldDef to;
};

ImageWriter::ImageWriter(const ImageLayout& layout, PacketBuffer* reuse)
    : layout_(layout), reuse_(reuse) {}
ImageWriter::~ImageWriter() = default;

void ImageWriter::Begin(std::vector<ResultColumn> columns, std::string context) {
  context_ = std::move(context);
  std::vector<int> targetOf(columns.size(), -1);
  std::vector<FieldDef> defs = layout_.fields;
  for (size_t t = 0; t < layout_.fields.size(); ++t) {
    size_t s = 0;
    while (s < columns.size() && !EqualsIgnoreCase(columns[s].name, layout_.fields[t].name)) ++s;
    if (s == columns.size())
      throw Error(layout_.table + ": column " + layout_.fields[t].name + " is not selected");
    targetOf[s] = static_cast<int>(t);
  }
  bool direct = true;
  for (size_t s = 0; s < columns.size(); ++s) {
    if (targetOf[s] >= 0) continue;
    const ResultColumn& c = columns[s];
    // A further column keeps the engine's type, and a text of no declared width the length
    // of its longest value: only the whole result tells.
    if (!c.typed || (c.type == FieldType::String && c.width <= 0)) direct = false;
    targetOf[s] = static_cast<int>(defs.size());
    FieldDef d;
    d.name = c.name;
    d.type = c.type;
    if (c.type == FieldType::String) {
      d.size = c.width;
      d.fixed = c.fixed;
    }
    defs.push_back(std::move(d));
  }
  if (!direct) {
    auto gathered = std::make_unique<db_internal::DatasetReceiver>();
    gathered->Begin(std::move(columns), std::move(context_));
    gathered_ = std::move(gathered);
    return;
  }
  for (size_t s = 0; s < columns.size(); ++s) {
    Source src;
    src.dynamic = !columns[s].typed;
    src.col = std::move(columns[s]);
    src.target = targetOf[s];
    src.to = defs[targetOf[s]];
    sources_.push_back(std::move(src));
  }
  scratch_.assign(defs.size(), {});
  packet_ = std::make_unique<BinaryPacketBuilder>(layout_.table, defs, reuse_);
}

// As the engine's dataset words it (the caller adds the file).
void ImageWriter::Fail(const Source& s, const std::string& what, bool format) const {
  const std::string msg = fmt::format("{}: column {}, row {}: {}", context_, s.col.name, rows_ + 1, what);
  if (format) throw FormatError(msg);
  throw ValueError(msg);
}

// As TypeRows words it.
void ImageWriter::FailTarget(const Source& s, const std::string& what) const {
  throw Error(layout_.table + " row " + std::to_string(rows_ + 1) + ": " + s.to.name + ": " + what);
}

void ImageWriter::Null(int i) {
  if (gathered_) return gathered_->Null(i);
  // every field of a new row is null
}

void ImageWriter::SetString(const Source& s, std::string_view text) {
  // bytes never undercount characters, so the count is taken only for a long text
  if (s.to.size > 0 && text.size() > static_cast<size_t>(s.to.size) &&
      Utf8Length(text) > static_cast<size_t>(s.to.size))
    FailTarget(s, "text of " + std::to_string(Utf8Length(text)) + " characters exceeds " +
                      std::to_string(s.to.size));
  packet_->SetStr(s.target, text);
}

// A value of the column's type (integers, booleans), into the image's type.
void ImageWriter::PutInt(Source& s, int64_t v) {
  const FieldType from = s.col.type;
  const int t = s.target;
  switch (s.to.type) {
    case FieldType::String: {
      std::string& text = scratch_[t];
      if (from == FieldType::Boolean) text = v ? "True" : "False";
      else text = std::to_string(v);
      SetString(s, text);
      return;
    }
    case FieldType::Date:
    case FieldType::DateTime:
    case FieldType::Time:
      FailTarget(s, "a " + std::string(FieldTypeName(from)) + " value is not a date");
    case FieldType::Float:
      if (from == FieldType::Boolean) FailTarget(s, "not a number");
      packet_->SetFloat(t, static_cast<double>(v));
      return;
    default:
      if ((s.to.type == FieldType::Int32 &&
           (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())) ||
          (s.to.type == FieldType::Int16 && (v < -32768 || v > 32767)))
        FailTarget(s, std::to_string(v) + " is out of range");
      packet_->SetInt(t, v);
  }
}

void ImageWriter::PutFloat(Source& s, double v) {
  const int t = s.target;
  switch (s.to.type) {
    case FieldType::String: {
      std::string& text = scratch_[t];
      text = NumberText(v);
      SetString(s, text);
      return;
    }
    case FieldType::Date:
    case FieldType::DateTime:
    case FieldType::Time:
      FailTarget(s, "a " + std::string(FieldTypeName(FieldType::Float)) + " value is not a date");
    case FieldType::Float: packet_->SetFloat(t, v); return;
    default:
      if (v != static_cast<double>(static_cast<int64_t>(v))) FailTarget(s, "not an integer");
      Source asInt = s;
      asInt.col.type = FieldType::Int64;
      PutInt(asInt, static_cast<int64_t>(v));
  }
}

void ImageWriter::PutMs(Source& s, int64_t ms) {
  const int t = s.target;
  switch (s.to.type) {
    case FieldType::String: {
      RowBuilder one(1);  // seldom: a date selected into a text field
      one.SetInt(0, ms);
      FieldDef from;
      from.type = s.col.type;
      std::string& text = scratch_[t];
      text = CellText(one.View(), 0, from);
      SetString(s, text);
      return;
    }
    case FieldType::Date: packet_->SetInt(t, ms - ms % kMsPerDay); return;
    case FieldType::DateTime:
    case FieldType::Time: packet_->SetInt(t, ms); return;
    case FieldType::Float: packet_->SetFloat(t, static_cast<double>(ms)); return;
    default: {
      Source asInt = s;
      asInt.col.type = FieldType::Int64;
      PutInt(asInt, ms);
    }
  }
}

// A text of a text column, into the image's type.
void ImageWriter::PutText(Source& s, std::string_view v) {
  const int t = s.target;
  switch (s.to.type) {
    case FieldType::String: SetString(s, v); return;
    case FieldType::Date:
    case FieldType::DateTime:
    case FieldType::Time: {
      auto when = ParseSqlDateTime(v);
      if (!when) FailTarget(s, "\"" + std::string(v) + "\" is not a date");
      int64_t ms = when->ms();
      if (s.to.type == FieldType::Date) ms -= ms % kMsPerDay;
      packet_->SetInt(t, ms);
      return;
    }
    case FieldType::Float: {
      auto d = ParseFloatText(v);
      if (!d) FailTarget(s, "not a number");
      packet_->SetFloat(t, *d);
      return;
    }
    default: {
      int64_t x = 0;
      auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), x);
      if (ec != std::errc() || p != v.data() + v.size()) FailTarget(s, "not an integer");
      Source asInt = s;
      asInt.col.type = FieldType::Int64;
      PutInt(asInt, x);
    }
  }
}

// The engine's values, typed by their column as the engine's dataset types them.
void ImageWriter::Int(int i, int64_t v) {
  if (gathered_) return gathered_->Int(i, v);
  Source& s = sources_[i];
  if (!s.col.typed) s.col.type = FieldType::Int64, s.col.typed = true;
  switch (s.col.type) {
    case FieldType::Int16:
      if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max())
        Fail(s, fmt::format("{} does not fit a 16-bit integer", v), false);
      return PutInt(s, v);
    case FieldType::Int32:
      if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        Fail(s, fmt::format("{} does not fit a 32-bit integer", v), false);
      return PutInt(s, v);
    case FieldType::Int64: return PutInt(s, v);
    case FieldType::Boolean: return PutInt(s, v != 0);
    case FieldType::Float: return PutFloat(s, static_cast<double>(v));
    case FieldType::String: return Text(i, std::to_string(v));
    default: Fail(s, fmt::format("number {} where a date or time is expected", v), true);
  }
}

void ImageWriter::Float(int i, double v) {
  if (gathered_) return gathered_->Float(i, v);
  Source& s = sources_[i];
  if (!s.col.typed) s.col.type = FieldType::Float, s.col.typed = true;
  // an expression holding integers and reals is a float column from its first real on
  if (s.dynamic && s.col.type == FieldType::Int64) s.col.type = FieldType::Float;
  switch (s.col.type) {
    case FieldType::Float: return PutFloat(s, v);
    case FieldType::Boolean: return PutInt(s, v != 0);
    case FieldType::String: return Text(i, fmt::format("{}", v));
    case FieldType::Int16: case FieldType::Int32: case FieldType::Int64:
      if (v != std::trunc(v) || std::fabs(v) > 9.2e18) Fail(s, fmt::format("{} is not an integer", v), true);
      return Int(i, static_cast<int64_t>(v));
    default: Fail(s, fmt::format("number {} where a date or time is expected", v), true);
  }
}

void ImageWriter::Text(int i, std::string_view v) {
  if (gathered_) return gathered_->Text(i, v);
  Source& s = sources_[i];
  if (!s.col.typed) s.col.type = FieldType::String, s.col.typed = true;
  const auto number = [&](auto* out) {
    std::string_view t = Trim(v);  // as the engine's dataset reads a number
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    const auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), *out);
    return !t.empty() && ec == std::errc() && p == t.data() + t.size();
  };
  switch (s.col.type) {
    case FieldType::String:
      if (s.col.width > 0 && v.size() > static_cast<size_t>(s.col.width) &&
          Utf8Length(v) > static_cast<size_t>(s.col.width))
        Fail(s, fmt::format("'{}' is longer than the column's {} characters", v, s.col.width), false);
      return PutText(s, v);
    case FieldType::Int16: case FieldType::Int32: case FieldType::Int64: {
      int64_t n = 0;
      if (!number(&n)) Fail(s, fmt::format("'{}' is not an integer", v), true);
      return Int(i, n);
    }
    case FieldType::Float: {
      double d = 0;
      if (!number(&d)) Fail(s, fmt::format("'{}' is not a number", v), true);
      return PutFloat(s, d);
    }
    case FieldType::Boolean: {
      const std::string u = AsciiUppered(v);
      if (u == "T" || u == "TRUE" || u == "1" || u == "S") return PutInt(s, 1);
      if (u == "F" || u == "FALSE" || u == "0" || u == "N") return PutInt(s, 0);
      Fail(s, fmt::format("'{}' is not a boolean", v), true);
    }
    case FieldType::Date: case FieldType::DateTime: {
      const auto t = db_internal::ParseSqlDateTime(v);
      if (!t) Fail(s, fmt::format("'{}' is not a date", v), true);
      return PutMs(s, s.col.type == FieldType::Date ? t->DateOnly().ms() : t->ms());
    }
    case FieldType::Time: {
      const auto t = db_internal::ParseSqlTime(v);
      if (!t) Fail(s, fmt::format("'{}' is not a time", v), true);
      return PutMs(s, t->ms());
    }
  }
}

void ImageWriter::EndRow() {
  if (gathered_) return gathered_->EndRow();
  packet_->EndRow();
  ++rows_;
}

std::string_view ImageWriter::Image(std::string_view origin) {
  if (gathered_) {
    if (built_.empty()) {
      TClientDataSet rows(layout_.table);
      static_cast<db_internal::DatasetReceiver&>(*gathered_).Finish(rows);
      built_ = BuildImage(rows, layout_, origin);
      rows_ = rows.StoredRowCount();
    }
    return built_;
  }
  if (!packet_)  // the statement yielded no rows at all
    throw Error(std::string(origin) + ": " + layout_.table + ": column " +
                (layout_.fields.empty() ? std::string("?") : layout_.fields[0].name) +
                " is not selected");
  return packet_->Finish();
}

std::string EmptyImage(const ImageLayout& layout) {
  TClientDataSet t(layout.table);
  t.FieldDefs() = layout.fields;
  t.CreateDataSet();
  return t.Data();
}

}  // namespace kve::server
