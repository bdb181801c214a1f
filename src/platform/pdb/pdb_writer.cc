#include "platform/pdb/pdb_writer.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/common/cp1252.h"
#include "platform/pdb/pdb_format.h"

namespace kve {
namespace {

// Records are buffered up to this size before they go to the spool file; most tables of an
// export never reach it and so never touch the spool.
constexpr size_t kBufferLimit = size_t{1} << 20;

[[noreturn]] void ThrowIo(const std::filesystem::path& p, const char* what, int err) {
  throw IoError(fmt::format("{}: {}: {}", p.string(), what, std::strerror(err)));
}

// Starts writing back to disk what `f` holds so far while the rest of the database is built,
// so the fsync before the rename waits for little more than the tail.
void StartWriteback(std::FILE* f, const std::filesystem::path& p) {
  if (std::fflush(f) != 0) ThrowIo(p, "cannot write", errno);
#ifdef __linux__
  ::sync_file_range(::fileno(f), 0, 0, SYNC_FILE_RANGE_WRITE);  // a hint: the fsync still decides
#endif
}

bool IsFourCharCode(std::string_view s) {
  if (s.size() != 4) return false;
  for (char c : s)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

}  // namespace

TPDBPocketStudio::TPDBPocketStudio() : fields_(this) {}

TPDBPocketStudio::~TPDBPocketStudio() { CancelDatabase(); }

std::string TPDBPocketStudio::Context() const {
  const std::string& name = fileName_.empty() ? dbName_ : fileName_;
  return fmt::format("{}: record {}", name, RecordCount() + 1);
}

TPDBPSField& TPDBPocketStudio::FieldByName(std::string_view name) {
  for (int i = 0; i < fields_.Count(); ++i)
    if (EqualsIgnoreCase(fields_.GetItem(i).FieldName(), name)) return fields_.GetItem(i);
  throw Error(fmt::format("{}: no field named {}", fileName_.empty() ? dbName_ : fileName_, name));
}

void TPDBPocketStudio::RequireRecord(const char* what) const {
  if (!active_) throw Error(fmt::format("{}: cannot {}: no database is open", dbName_, what));
  if (!inRecord_) throw Error(fmt::format("{}: cannot {} before Append", Context(), what));
}

void TPDBPocketStudio::CreateDatabase() {
  const std::string& label = fileName_.empty() ? dbName_ : fileName_;
  if (active_) throw Error(fmt::format("{}: a database is already open", label));
  if (mode_ == TPDBOpenMode::dmModeReadOnly)
    throw Error(fmt::format("{}: the component is open read-only", label));
  if (!IsFourCharCode(creator_) || !IsFourCharCode(type_))
    throw ValueError(fmt::format("{}: creator '{}' and type '{}' must be four characters", label,
                                 creator_, type_));
  std::string name;
  if (dbName_.empty() || AppendCp1252(dbName_, name) != kEncodedOk ||
      name.size() >= pdb::kNameSize || name.find('\0') != std::string::npos)
    throw ValueError(fmt::format("{}: database name '{}' must be 1 to {} Windows-1252 characters",
                                 label, dbName_, pdb::kNameSize - 1));
  if (fileName_.empty() || fileName_ == "." || fileName_ == ".." ||
      fileName_.find_first_of("/\\") != std::string::npos)
    throw ValueError(fmt::format("{}: '{}' is not a plain file name", dbName_, fileName_));
  if (fields_.Count() > 0xFFFF)
    throw ValueError(
        fmt::format("{}: {} fields are more than a field list holds", label, fields_.Count()));
  for (int i = 0; i < fields_.Count(); ++i) {
    std::string bytes;
    const std::string& f = fields_.GetItem(i).FieldName();
    if (AppendCp1252(f, bytes) != kEncodedOk || bytes.find('\0') != std::string::npos)
      throw ValueError(fmt::format("{}: field name '{}' has no Windows-1252 form", label, f));
  }

  target_ = dir_ / fileName_;
  temp_ = dir_ / (fileName_ + ".tmp");
  spoolPath_ = dir_ / (fileName_ + ".spool");
  out_ = std::fopen(temp_.c_str(), "w+b");  // readable: it may become the spool at close
  if (!out_) ThrowIo(temp_, "cannot create", errno);
  used_ = 0;
  spooled_ = 0;
  expected_ = -1;
  direct_ = false;
  reserved_ = spoolBase_ = 0;
  ends_.clear();
  inRecord_ = false;
  active_ = true;
}

void TPDBPocketStudio::RequireRoom() const {
  if (!active_) throw Error(fmt::format("{}: cannot append: no database is open", dbName_));
  if (RecordCount() >= pdb::kMaxRecords)
    throw ValueError(
        fmt::format("{}: a Palm database holds at most 65,535 records; record "
                    "65,536 is refused",
                    fileName_));
}

void TPDBPocketStudio::Append() {
  RequireRoom();
  for (auto& f : fields_.items_) f->assigned_ = false;
  inRecord_ = true;
}

char* TPDBPocketStudio::BeginEncoded(size_t max) {
  RequireRoom();
  inRecord_ = false;  // a record begun through Append is dropped, as Append would
  if (used_ + max > buffer_.size())  // grows rarely: the buffer is flushed at kBufferLimit
    buffer_.resize(std::max({used_ + max, size_t{1} << 16,
                             std::min(2 * buffer_.size(), kBufferLimit + kBufferLimit / 4)}));
  return buffer_.data() + used_;
}

void TPDBPocketStudio::EndEncoded(const char* end) {
  const auto size = static_cast<size_t>(end - (buffer_.data() + used_));
  const uint64_t total = spooled_ + used_ + size;
  if (total > UINT32_MAX / 2)  // offsets are 32 bits; no handheld holds anything near this
    throw ValueError(fmt::format("{}: the database exceeds 2 GiB", Context()));
  used_ += size;
  ends_.push_back(static_cast<uint32_t>(total));
  inRecord_ = false;
  if (used_ >= kBufferLimit) FlushBuffer();
}

void TPDBPocketStudio::Post() {
  RequireRecord("post");
  size_t size = 0;
  for (const auto& f : fields_.items_) size += f->EncodedSize();
  char* p = BeginEncoded(size);
  for (const auto& f : fields_.items_) p = f->EncodeTo(p);
  EndEncoded(p);
}

void TPDBPocketStudio::WriteAll(std::FILE* f, const char* data, size_t n,
                                const std::filesystem::path& p) {
  if (n != 0 && std::fwrite(data, 1, n, f) != n) ThrowIo(p, "cannot write", errno);
}

void TPDBPocketStudio::ExpectRecords(int n) {
  if (active_ && RecordCount() == 0 && used_ == 0 && n >= 0 && n <= pdb::kMaxRecords)
    expected_ = n;
}

void TPDBPocketStudio::FlushBuffer() {
  if (!spool_ && !direct_ && expected_ >= 0) {
    reserved_ = pdb::kHeaderSize + static_cast<uint64_t>(expected_) * pdb::kRecordEntrySize +
                pdb::kListGap + BuildAppInfo().size();
    if (std::fseek(out_, static_cast<long>(reserved_), SEEK_SET) != 0)
      ThrowIo(temp_, "cannot write", errno);
    direct_ = true;
  }
  if (direct_) {
    WriteAll(out_, buffer_.data(), used_, temp_);
    spooled_ += used_;
    used_ = 0;
    StartWriteback(out_, temp_);
    return;
  }
  if (!spool_) {
    spool_ = std::fopen(spoolPath_.c_str(), "w+b");
    if (!spool_) ThrowIo(spoolPath_, "cannot create", errno);
  }
  WriteAll(spool_, buffer_.data(), used_, spoolPath_);
  spooled_ += used_;
  used_ = 0;
}

std::string TPDBPocketStudio::BuildAppInfo() const {
  std::string app(2, '\0');
  pdb::PutU16(app.data(), static_cast<uint16_t>(fields_.Count()));
  for (int i = 0; i < fields_.Count(); ++i) {
    const TPDBPSField& f = fields_.GetItem(i);
    char b[3];
    b[0] = static_cast<char>(f.DataType() ? static_cast<uint8_t>(*f.DataType()) : pdb::kNoType);
    pdb::PutU16(b + 1, static_cast<uint16_t>(f.Size()));
    app.append(b, 3);
    AppendCp1252(f.FieldName(), app);  // checked at CreateDatabase
    app += '\0';
  }
  return app;
}

std::string TPDBPocketStudio::BuildHead() const {
  const size_t n = ends_.size();
  const std::string app = BuildAppInfo();
  const size_t appOffset = pdb::kHeaderSize + n * pdb::kRecordEntrySize + pdb::kListGap;
  const size_t dataStart = appOffset + app.size();

  std::string head(appOffset, '\0');
  char* h = head.data();
  std::string name;
  AppendCp1252(dbName_, name);  // checked at CreateDatabase
  std::memcpy(h, name.data(), name.size());
  const uint32_t now = pdb::ToPalmSeconds(stamp_ ? *stamp_ : TDateTime::Now());
  pdb::PutU32(h + pdb::kOffCreated, now);
  pdb::PutU32(h + pdb::kOffModified, now);
  pdb::PutU32(h + pdb::kOffAppInfo, static_cast<uint32_t>(appOffset));
  std::memcpy(h + pdb::kOffType, type_.data(), 4);
  std::memcpy(h + pdb::kOffCreator, creator_.data(), 4);
  pdb::PutU32(h + pdb::kOffSeed, static_cast<uint32_t>(n + 1));
  pdb::PutU16(h + pdb::kOffCount, static_cast<uint16_t>(n));
  char* e = h + pdb::kHeaderSize;
  for (size_t i = 0; i < n; ++i, e += pdb::kRecordEntrySize) {
    pdb::PutU32(e, static_cast<uint32_t>(dataStart + (i == 0 ? 0 : ends_[i - 1])));
    const auto uid = static_cast<uint32_t>(i + 1);  // attributes 0, unique ID 1, 2, 3, ...
    pdb::PutU32(e + 4, uid & 0xFFFFFF);
  }
  head += app;
  return head;
}

void TPDBPocketStudio::CopySpool() {
  if (std::fflush(spool_) != 0) ThrowIo(spoolPath_, "cannot write", errno);
  if (std::fseek(spool_, static_cast<long>(spoolBase_), SEEK_SET) != 0)
    ThrowIo(spoolPath_, "cannot read back", errno);
  std::string chunk(kBufferLimit, '\0');
  for (uint64_t left = spooled_; left > 0;) {
    const size_t want = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
    if (std::fread(chunk.data(), 1, want, spool_) != want)
      ThrowIo(spoolPath_, "cannot read back", errno ? errno : EIO);
    WriteAll(out_, chunk.data(), want, temp_);
    left -= want;
  }
}

void TPDBPocketStudio::CloseDatabase() {
  if (!active_) throw Error(fmt::format("{}: cannot close: no database is open", dbName_));
  try {
    const std::string head = BuildHead();
    if (direct_ && head.size() != reserved_) {
      // The count was not the one expected: what is in the file so far becomes the spool,
      // behind the room it left for a head of the wrong size.
      if (std::fflush(out_) != 0) ThrowIo(temp_, "cannot write", errno);
      std::error_code ec;
      std::filesystem::rename(temp_, spoolPath_, ec);
      if (ec) ThrowIo(spoolPath_, "cannot create", ec.value());
      spool_ = out_;
      out_ = std::fopen(temp_.c_str(), "wb");
      if (!out_) ThrowIo(temp_, "cannot create", errno);
      spoolBase_ = reserved_;
      direct_ = false;
    }
    if (direct_) {  // the records are in place: the rest of them, then the head before them
      WriteAll(out_, buffer_.data(), used_, temp_);
      if (std::fseek(out_, 0, SEEK_SET) != 0) ThrowIo(temp_, "cannot write", errno);
      WriteAll(out_, head.data(), head.size(), temp_);
    } else {
      WriteAll(out_, head.data(), head.size(), temp_);
      if (spool_) CopySpool();
      WriteAll(out_, buffer_.data(), used_, temp_);
    }
    // on disk before it replaces the earlier file: a HotSync after a power cut finds the old
    // database or the new one, never an empty file under the name
    if (std::fflush(out_) != 0 || ::fsync(::fileno(out_)) != 0)
      ThrowIo(temp_, "cannot write", errno);
    std::FILE* f = out_;
    out_ = nullptr;
    if (std::fclose(f) != 0) ThrowIo(temp_, "cannot write", errno);
    std::error_code ec;
    std::filesystem::rename(temp_, target_, ec);
    if (ec) ThrowIo(target_, "cannot replace with the new database", ec.value());
  } catch (...) {
    CancelDatabase();
    throw;
  }
  CancelDatabase();  // only the spool is left to go; the database is in place
}

void TPDBPocketStudio::CancelDatabase() noexcept {
  std::error_code ec;
  if (out_) {
    std::fclose(out_);
    out_ = nullptr;
  }
  if (spool_) {
    std::fclose(spool_);
    spool_ = nullptr;
  }
  if (active_) {
    std::filesystem::remove(temp_, ec);
    std::filesystem::remove(spoolPath_, ec);
  }
  active_ = false;
  inRecord_ = false;
  used_ = 0;
  if (buffer_.size() > 2 * kBufferLimit) {
    buffer_.clear();
    buffer_.shrink_to_fit();
  }
  spooled_ = 0;
  expected_ = -1;
  direct_ = false;
  reserved_ = spoolBase_ = 0;
  ends_.clear();
  ends_.shrink_to_fit();
}

}  // namespace kve
