#include "platform/dataset/packet_format.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

#include <fmt/format.h>

#include "platform/common/ascii.h"
#include "platform/common/cp1252.h"
#include "platform/common/error.h"

namespace kve::packet {
namespace {

// The encoding named by the XML declaration, lower-cased; empty when none is declared.
std::string DeclaredEncoding(std::string_view b) {
  if (b.substr(0, 5) != "<?xml") return {};
  const size_t end = b.find("?>");
  const std::string_view decl = b.substr(0, end);
  const size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return {};
  size_t q = decl.find_first_of("\"'", at);
  if (q == std::string_view::npos) return {};
  const size_t close = decl.find(decl[q], q + 1);
  if (close == std::string_view::npos) return {};
  return AsciiLowered(decl.substr(q + 1, close - q - 1));
}

}  // namespace

bool DecodeRowState(unsigned code, RowStatus& status, bool& keep) {
  if (code > 0x0F) return false;
  keep = true;
  if (code & 2) {
    status = RowStatus::Deleted;
    keep = false;
  } else if (code & 4) {
    status = RowStatus::Inserted;  // inserted, perhaps edited since: still an insertion
  } else if (code & 8) {
    status = RowStatus::Modified;
  } else if (code & 1) {
    status = RowStatus::Original;
    keep = false;
  } else {
    status = RowStatus::Unchanged;
  }
  return true;
}

std::string CellContext(const TClientDataSet& ds, int row, int field) {
  return fmt::format("{} row {}: {}", ds.Name().empty() ? "dataset" : ds.Name(), row,
                     ds.FieldDefs()[field].name);
}

bool IsXmlRowName(std::string_view name) {
  if (name.empty()) return false;
  const auto letter = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  if (!letter(name[0])) return false;
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
  return true;
}

void XmlPacketToUtf8(std::string& buffer) {
  if (buffer.size() >= 2 && ((buffer[0] == '\xFF' && buffer[1] == '\xFE') ||
                             (buffer[0] == '\xFE' && buffer[1] == '\xFF')))
    throw FormatError("UTF-16 packets are not supported");
  if (buffer.compare(0, 3, "\xEF\xBB\xBF") == 0) buffer.erase(0, 3);
  const std::string enc = DeclaredEncoding(buffer);
  if (enc.empty() || enc == "utf-8" || enc == "utf8") return;
  // ISO-8859-1 as labelled in practice means Windows-1252 (as browsers read it); ASCII is a
  // subset of both.
  if (enc == "windows-1252" || enc == "cp1252" || enc == "iso-8859-1" || enc == "iso8859-1" ||
      enc == "latin1" || enc == "us-ascii" || enc == "ascii") {
    std::string u;
    u.reserve(buffer.size() + buffer.size() / 8);
    AppendUtf8FromCp1252(buffer, u);
    buffer.swap(u);
    return;
  }
  throw FormatError(fmt::format("unsupported encoding '{}'", enc));
}

bool ParseInteger(std::string_view s, int64_t lo, int64_t hi, int64_t& out) {
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size() && !s.empty() && out >= lo && out <= hi;
}

FieldType XmlFieldType(std::string_view t, std::string_view field) {
  static const std::pair<std::string_view, FieldType> kTypes[] = {
      {"string", FieldType::String},   {"i2", FieldType::Int16},      {"i1", FieldType::Int16},
      {"ui1", FieldType::Int16},       {"i4", FieldType::Int32},      {"ui2", FieldType::Int32},
      {"i8", FieldType::Int64},        {"ui4", FieldType::Int64},     {"r8", FieldType::Float},
      {"boolean", FieldType::Boolean}, {"date", FieldType::Date},     {"time", FieldType::Time},
      {"dateTime", FieldType::DateTime}};
  // Other writers of the format spell some names in another case ("datetime"); their reader
  // takes either, and so does ours.
  for (const auto& [name, type] : kTypes)
    if (EqualsIgnoreCase(name, t)) return type;
  throw FormatError(fmt::format("field {}: unknown fieldtype '{}'", field, t));
}

std::unordered_map<int64_t, unsigned> ParseChangeLog(std::string_view s) {
  std::unordered_map<int64_t, unsigned> log;
  std::vector<int64_t> nums;
  while (!s.empty()) {
    const size_t sp = s.find(' ');
    const std::string_view tok = s.substr(0, sp);
    s = sp == std::string_view::npos ? std::string_view{} : s.substr(sp + 1);
    if (tok.empty()) continue;
    int64_t v;
    if (!ParseInteger(tok, 0, INT32_MAX, v)) throw FormatError(fmt::format("CHANGE_LOG: '{}' is not a number", tok));
    nums.push_back(v);
  }
  if (nums.size() % 3 != 0) throw FormatError("CHANGE_LOG is not a list of triples");
  for (size_t i = 0; i < nums.size(); i += 3) log[nums[i]] = static_cast<unsigned>(nums[i + 2]);
  return log;
}

size_t MaxCells(size_t fileBytes) {
  constexpr size_t kFloor = size_t{1} << 20, kPerByte = 16;
  return fileBytes > SIZE_MAX / kPerByte ? SIZE_MAX : std::max(kFloor, fileBytes * kPerByte);
}

void CheckCells(int64_t rows, size_t fields, size_t fileBytes) {
  const size_t most = MaxCells(fileBytes);
  const size_t width = std::max<size_t>(fields, 1);
  if (rows > 0 && static_cast<uint64_t>(rows) > most / width)
    throw FormatError(fmt::format("{} rows of {} fields are out of proportion to the {} bytes of the file "
                                  "(at most {} rows of that width)",
                                  rows, fields, fileBytes, most / width));
}

void FieldNames::Add(std::string_view name) {
  if (!seen_.insert(AsciiLowered(name)).second)
    throw FormatError(fmt::format("duplicate field name {}", name));
}

}  // namespace kve::packet
