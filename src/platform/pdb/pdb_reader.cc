#include "platform/pdb/pdb_reader.h"

#include <fmt/format.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

#include "platform/common/error.h"
#include "platform/fs/file_system.h"
#include "platform/common/cp1252.h"
#include "platform/pdb/pdb_format.h"

namespace kve::pdb {
namespace {

std::string Trimmed(std::string_view bytes) {  // up to the first NUL
  return std::string(bytes.substr(0, bytes.find('\0')));
}

std::string Utf8(std::string_view cp1252) {
  std::string out;
  AppendUtf8FromCp1252(cp1252, out);
  return out;
}

}  // namespace

std::optional<CivilDate> PdbValue::Date() const {
  if (type != TPDBPSFieldType::PSDate || integer == 0) return std::nullopt;
  const CivilDate d = FromDateType(static_cast<uint16_t>(integer));
  if (!IsValidDate(d.year, d.month, d.day)) return std::nullopt;
  return d;
}

std::string PdbValue::Text() const {
  if (!type) return {};
  switch (*type) {
    case TPDBPSFieldType::PSString:
      return text;
    case TPDBPSFieldType::PSBoolean:
      return integer ? "True" : "False";
    case TPDBPSFieldType::PSDate: {
      if (integer == 0) return {};
      auto d = Date();
      if (!d) return fmt::format("invalid date 0x{:04X}", integer);
      return fmt::format("{:02}/{:02}/{:04}", d->day, d->month, d->year);
    }
    case TPDBPSFieldType::PSDouble: {
      char buf[64];
      // a value the writer narrowed prints as that single-precision value, not its widening
      const bool single = std::isfinite(real) && std::fabs(real) <= FLT_MAX &&
                          static_cast<double>(static_cast<float>(real)) == real;
      auto [p, ec] = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(real))
                            : std::to_chars(buf, buf + sizeof buf, real);
      return std::string(buf, ec == std::errc() ? p : buf);
    }
    default:
      return std::to_string(integer);
  }
}

PdbFile PdbFile::Load(const std::filesystem::path& file) { return Load(*NewHostFileSystem(), file.string()); }

PdbFile PdbFile::Load(FileSystem& fs, std::string_view path) {
  std::string bytes = fs.ReadFile(path);  // its errors name the path
  const size_t slash = path.find_last_of("\\/");
  return Parse(std::move(bytes), std::string(slash == std::string_view::npos ? path : path.substr(slash + 1)));
}

PdbFile PdbFile::Parse(std::string bytes, std::string label) {
  PdbFile f;
  f.label_ = std::move(label);
  f.bytes_ = std::move(bytes);
  f.ParseHeader();
  f.ParseEntries();
  f.ParseFieldDescription();
  return f;
}

void PdbFile::ParseHeader() {
  if (bytes_.size() < kHeaderSize)
    throw FormatError(fmt::format("{}: {} bytes are too few for a Palm database header ({})",
                                  label_, bytes_.size(), kHeaderSize));
  const char* h = bytes_.data();
  header_.name = Utf8(Trimmed(std::string_view(h, kNameSize)));
  header_.attributes = GetU16(h + 32);
  header_.version = GetU16(h + 34);
  header_.created = GetU32(h + kOffCreated);
  header_.modified = GetU32(h + kOffModified);
  header_.backedUp = GetU32(h + kOffBackup);
  header_.modificationNumber = GetU32(h + kOffModNumber);
  header_.appInfoOffset = GetU32(h + kOffAppInfo);
  header_.sortInfoOffset = GetU32(h + kOffSortInfo);
  header_.type = Utf8(std::string_view(h + kOffType, 4));
  header_.creator = Utf8(std::string_view(h + kOffCreator, 4));
  header_.uniqueIdSeed = GetU32(h + kOffSeed);
  header_.nextRecordList = GetU32(h + kOffNextList);
  header_.recordCount = GetU16(h + kOffCount);
  if (header_.nextRecordList != 0)
    throw FormatError(fmt::format("{}: chained record lists are not supported", label_));
}

void PdbFile::ParseEntries() {
  const size_t n = header_.recordCount;
  const size_t listEnd = kHeaderSize + n * kRecordEntrySize;
  if (listEnd > bytes_.size())
    throw FormatError(
        fmt::format("{}: the record list of {} records runs past the end of the "
                    "file ({} bytes)",
                    label_, n, bytes_.size()));
  entries_.resize(n);
  uint32_t previous = static_cast<uint32_t>(listEnd);
  for (size_t i = 0; i < n; ++i) {
    const char* e = bytes_.data() + kHeaderSize + i * kRecordEntrySize;
    PdbRecordEntry& r = entries_[i];
    r.offset = GetU32(e);
    r.attributes = static_cast<uint8_t>(e[4]);
    r.uniqueId = GetU32(e + 4) & 0xFFFFFF;
    if (r.offset < previous || r.offset > bytes_.size())
      throw FormatError(fmt::format("{}: record {}: offset {} lies outside the data ({}..{})",
                                    label_, i + 1, r.offset, previous, bytes_.size()));
    previous = r.offset;
  }
}

void PdbFile::ParseFieldDescription() {
  const uint32_t at = header_.appInfoOffset;
  if (at == 0) return;
  const size_t listEnd = kHeaderSize + entries_.size() * kRecordEntrySize;
  size_t end = entries_.empty() ? bytes_.size() : entries_.front().offset;
  if (header_.sortInfoOffset > at && header_.sortInfoOffset < end) end = header_.sortInfoOffset;
  if (at < listEnd || at > end)
    throw FormatError(
        fmt::format("{}: AppInfo offset {} lies outside {}..{}", label_, at, listEnd, end));
  const std::string_view app(bytes_.data() + at, end - at);
  if (app.size() < 2)
    throw FormatError(
        fmt::format("{}: AppInfo block of {} bytes holds no field count", label_, app.size()));
  const size_t count = GetU16(app.data());
  size_t p = 2;
  fields_.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    if (p + 3 > app.size())
      throw FormatError(
          fmt::format("{}: field {} of {}: the AppInfo block ends early", label_, i + 1, count));
    PdbFieldDesc d;
    const auto type = static_cast<uint8_t>(app[p]);
    if (type <= static_cast<uint8_t>(TPDBPSFieldType::PSBoolean))
      d.type = static_cast<TPDBPSFieldType>(type);
    else if (type != kNoType)
      throw FormatError(fmt::format("{}: field {}: unknown type {}", label_, i + 1, type));
    d.size = GetU16(app.data() + p + 1);
    p += 3;
    const size_t nul = app.find('\0', p);
    if (nul == std::string_view::npos)
      throw FormatError(fmt::format("{}: field {}: its name has no end", label_, i + 1));
    d.name = Utf8(app.substr(p, nul - p));
    p = nul + 1;
    fields_.push_back(std::move(d));
  }
  hasFields_ = true;
}

int PdbFile::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].name == name) return static_cast<int>(i);
  return -1;
}

std::string_view PdbFile::RecordBytes(int i) const {
  const auto k = static_cast<size_t>(i);
  const size_t begin = entries_[k].offset;
  const size_t end = k + 1 < entries_.size() ? entries_[k + 1].offset : bytes_.size();
  return std::string_view(bytes_).substr(begin, end - begin);
}

std::vector<PdbValue> PdbFile::Record(int i) const {
  if (i < 0 || i >= RecordCount())
    throw Error(fmt::format("{}: no record {} (it holds {})", label_, i + 1, RecordCount()));
  if (!hasFields_)
    throw FormatError(fmt::format("{}: no field description to decode records with", label_));
  const std::string_view rec = RecordBytes(i);
  std::vector<PdbValue> out(fields_.size());
  size_t p = 0;
  for (size_t k = 0; k < fields_.size(); ++k) {
    PdbValue& v = out[k];
    v.type = fields_[k].type;
    if (!v.type) continue;
    const size_t w = PSFixedWidth(*v.type);
    if (*v.type == TPDBPSFieldType::PSString) {
      const size_t nul = rec.find('\0', p);
      if (nul == std::string_view::npos)
        throw FormatError(
            fmt::format("{}: record {}: {}: the text has no end", label_, i + 1, fields_[k].name));
      v.text = Utf8(rec.substr(p, nul - p));
      p = nul + 1;
      continue;
    }
    if (p + w > rec.size())
      throw FormatError(
          fmt::format("{}: record {}: {}: the record ends early", label_, i + 1, fields_[k].name));
    const char* b = rec.data() + p;
    switch (*v.type) {
      case TPDBPSFieldType::PSInt8:
        v.integer = static_cast<int8_t>(b[0]);
        break;
      case TPDBPSFieldType::PSBoolean:
        v.integer = b[0] != 0;
        break;
      case TPDBPSFieldType::PSInt16:
        v.integer = static_cast<int16_t>(GetU16(b));
        break;
      case TPDBPSFieldType::PSDate:
        v.integer = GetU16(b);
        break;
      case TPDBPSFieldType::PSInt32:
        v.integer = static_cast<int32_t>(GetU32(b));
        break;
      case TPDBPSFieldType::PSDouble: {
        const uint64_t bits = (uint64_t{GetU32(b)} << 32) | GetU32(b + 4);
        std::memcpy(&v.real, &bits, 8);
        break;
      }
      case TPDBPSFieldType::PSString:
        break;
    }
    p += w;
  }
  if (p != rec.size())
    throw FormatError(fmt::format("{}: record {}: {} bytes left over after the last field", label_,
                                  i + 1, rec.size() - p));
  return out;
}

bool IsPdb(std::string_view b) {
  if (b.size() < kHeaderSize) return false;
  const size_t nameEnd = b.substr(0, kNameSize).find('\0');
  if (nameEnd == std::string_view::npos || nameEnd == 0) return false;
  for (size_t i = 0; i < 8; ++i) {
    const char c = b[kOffType + i];
    if (c < 0x20 || c > 0x7E) return false;
  }
  const size_t count = GetU16(b.data() + kOffCount);
  return kHeaderSize + count * kRecordEntrySize <= b.size();
}

}  // namespace kve::pdb
