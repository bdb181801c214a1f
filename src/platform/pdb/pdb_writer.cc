#include "platform/pdb/pdb_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/common/cp1252.h"
#include "platform/fs/file_sink.h"
#include "platform/fs/file_system.h"
#include "platform/pdb/pdb_format.h"

namespace kve {
namespace {

// A buffer kept between databases up to this size; a larger one is given back.
constexpr size_t kKeptBuffer = size_t{8} << 20;
// How much of a database written straight into a folder is held before it goes to the file.
constexpr size_t kSpillBytes = size_t{1} << 20;

bool IsFourCharCode(std::string_view s) {
  if (s.size() != 4) return false;
  for (char c : s)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

}  // namespace

TPDBPocketStudio::TPDBPocketStudio() : fields_(this) {}

TPDBPocketStudio::Bytes::~Bytes() { std::free(data); }

void TPDBPocketStudio::Grow(size_t need) {
  if (file_.cap - used_ >= need) return;
  const size_t cap = std::max({used_ + need, size_t{1} << 16, 2 * file_.cap});
  char* p = static_cast<char*>(std::realloc(file_.data, cap));
  if (p == nullptr) throw std::bad_alloc();
  file_.data = p;
  file_.cap = cap;
}

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

  const bool folder = fs_ ? fs_->DirectoryExists(fsDir_) : std::filesystem::is_directory(dir_);
  if (!folder) throw IoError(fmt::format("{}: cannot create: the folder does not exist", Target()));
  used_ = reserved_ = 0;
  ends_.clear();
  inRecord_ = false;
  active_ = true;
}

std::string TPDBPocketStudio::Target() const {
  if (!fs_) return (dir_ / fileName_).string();
  if (!fsDir_.empty() && (fsDir_.back() == '\\' || fsDir_.back() == '/')) return fsDir_ + fileName_;
  return fsDir_ + "\\" + fileName_;
}

void TPDBPocketStudio::RequireRoom() const {
  if (!active_) throw Error(fmt::format("{}: cannot append: no database is open", dbName_));
  if (RecordCount() >= pdb::kMaxRecords)
    throw PalmRecordLimitError(
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
  Grow(max);
  return file_.data + used_;
}

void TPDBPocketStudio::EndEncoded(const char* end) {
  const auto size = static_cast<size_t>(end - (file_.data + used_));
  const uint64_t total = spilled_ + used_ + size - reserved_;
  if (total > UINT32_MAX / 2)  // offsets are 32 bits; no handheld holds anything near this
    throw ValueError(fmt::format("{}: the database exceeds 2 GiB", Context()));
  used_ += size;
  ends_.push_back(static_cast<uint32_t>(total));
  inRecord_ = false;
  if (used_ >= kSpillBytes && !fs_ && reserved_ > 0) Spill();
}

void TPDBPocketStudio::Spill() {
  if (!spill_) {
    host_ = NewHostFileSystem(later_);
    spill_ = host_->OpenForWrite((dir_ / fileName_).string(), Durability::kSynced);
  }
  spill_->Write(std::string_view(file_.data, used_));
  spilled_ += used_;
  used_ = 0;
}

void TPDBPocketStudio::Post() {
  RequireRecord("post");
  size_t size = 0;
  for (const auto& f : fields_.items_) size += f->EncodedSize();
  char* p = BeginEncoded(size);
  for (const auto& f : fields_.items_) p = f->EncodeTo(p);
  EndEncoded(p);
}

void TPDBPocketStudio::ExpectRecords(int n) {
  if (!active_ || RecordCount() != 0 || n < 0 || n > pdb::kMaxRecords) return;
  reserved_ = pdb::kHeaderSize + static_cast<size_t>(n) * pdb::kRecordEntrySize + pdb::kListGap +
              BuildAppInfo().size();
  used_ = 0;
  Grow(reserved_);
  std::memset(file_.data, 0, reserved_);  // the head's place, filled in at CloseDatabase
  used_ = reserved_;
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

void TPDBPocketStudio::CloseDatabase() {
  if (!active_) throw Error(fmt::format("{}: cannot close: no database is open", dbName_));
  try {
    const std::string head = BuildHead();
    if (spill_) {
      if (head.size() == reserved_) {
        spill_->Write(std::string_view(file_.data, used_));
        spill_->WriteAt(0, head);
      } else {  // the count was not the one expected: the records move behind the real head
        std::string records = spill_->ReadAt(reserved_, spilled_ - reserved_);
        records.append(file_.data, used_);
        spill_->Restart();
        spill_->Write(head);
        spill_->Write(records);
      }
      spill_->Commit();
    } else {
      if (head.size() == reserved_) {
        std::memcpy(file_.data, head.data(), head.size());
      } else {  // the count was not the one expected: the records move behind the real head
        const size_t records = used_ - reserved_;
        if (head.size() > reserved_) Grow(head.size() - reserved_);
        std::memmove(file_.data + head.size(), file_.data + reserved_, records);
        std::memcpy(file_.data, head.data(), head.size());
        used_ = head.size() + records;
      }
      const std::string_view bytes(file_.data, used_);
      if (fs_)
        fs_->WriteFile(Target(), bytes);
      else
        NewHostFileSystem(later_)->WriteFile((dir_ / fileName_).string(), bytes);
    }
  } catch (...) {
    CancelDatabase();
    throw;
  }
  CancelDatabase();  // the database is in place; only the buffer is left to reset
}

void TPDBPocketStudio::CancelDatabase() noexcept {
  active_ = false;
  inRecord_ = false;
  spill_.reset();  // a temporary not committed is removed
  host_.reset();
  used_ = reserved_ = 0;
  spilled_ = 0;
  if (file_.cap > kKeptBuffer) {
    std::free(file_.data);
    file_.data = nullptr;
    file_.cap = 0;
  }
  ends_.clear();
  if (ends_.capacity() > pdb::kMaxRecords / 4) ends_.shrink_to_fit();
}

}  // namespace kve
