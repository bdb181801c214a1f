#include "platform/fs/file_sink.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/common/prefault.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

// Bytes written before the kernel is asked to start writing them back, so the fsync at the
// end waits for little more than the tail.
constexpr uint64_t kWritebackChunk = uint64_t{8} << 20;

// A smaller buffer is as likely as not in memory the allocator has touched before.
constexpr size_t kPrefaultFrom = size_t{64} << 10;
// What ReadWholeFile reads at a time: well inside the processor's cache.
constexpr size_t kLocalReadPiece = size_t{128} << 10;

void SyncFolder(const stdfs::path& dir, std::string_view label) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ThrowIoError(label, "sync the folder", errno);
  // Some file systems (network shares among them) cannot flush a folder and say EINVAL; the
  // file's own data is on the disk already.
  const int rc = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (rc != 0 && err != EINVAL && err != ENOTSUP) ThrowIoError(label, "sync the folder", err);
}

stdfs::path TemporaryBeside(const stdfs::path& target) {
  static std::atomic<unsigned> counter{0};
  std::string name = target.filename().string();
  if (name.size() > 200) name.resize(200);  // room for the suffix within a name's 255 bytes
  return target.parent_path() / fmt::format(".{}.tmp-{}-{}", name, ::getpid(), counter++);
}

}  // namespace

void FolderSync::Add(const stdfs::path& dir, std::string_view label) {
  for (const auto& d : dirs_)
    if (d.first == dir) return;
  dirs_.emplace_back(dir, std::string(label));
}

void FolderSync::Sync() {
  while (!dirs_.empty()) {
    const auto d = dirs_.front();
    dirs_.erase(dirs_.begin());
    SyncFolder(d.first, d.second);
  }
}

void FolderSync::End() noexcept {
  if (depth_ > 0 && --depth_ > 0) return;
  try {
    Sync();
  } catch (const std::exception&) {
    dirs_.clear();  // the run has failed already; its own error is the one to report
  }
}

AtomicFileSink::AtomicFileSink(const stdfs::path& target, std::string_view label, FolderSync* later,
                               Durability durability)
    : target_(target), temp_(TemporaryBeside(target)),
      label_(label.empty() ? target.string() : std::string(label)), later_(later),
      durability_(durability) {
  std::error_code ec;
  if (stdfs::is_directory(target_, ec)) throw IoError(label_ + ": is a folder, not a file");
  fd_ = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd_ < 0) ThrowIoError(label_, "create", errno);
}

AtomicFileSink::~AtomicFileSink() { Discard(); }

void AtomicFileSink::Discard() noexcept {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(temp_.c_str());
}

void AtomicFileSink::Write(const char* data, size_t n) {
  if (fd_ < 0) throw Error(label_ + ": cannot write: the file is already closed");
  while (n > 0) {
    const ssize_t w = ::write(fd_, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(label_, "write", errno);
    }
    data += w;
    n -= static_cast<size_t>(w);
    written_ += static_cast<uint64_t>(w);
  }
#ifdef __linux__
  if (durability_ == Durability::kSynced && written_ - started_ >= kWritebackChunk) {
    ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(written_ - started_),
                      SYNC_FILE_RANGE_WRITE);
    started_ = written_;
  }
#endif
}

void AtomicFileSink::WriteAt(uint64_t offset, std::string_view bytes) {
  if (fd_ < 0) throw Error(label_ + ": cannot write: the file is already closed");
  if (offset + bytes.size() > written_) throw Error(label_ + ": cannot write past what was written");
  while (!bytes.empty()) {
    const ssize_t w = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (w < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(label_, "write", errno);
    }
    bytes.remove_prefix(static_cast<size_t>(w));
    offset += static_cast<uint64_t>(w);
  }
}

std::string AtomicFileSink::ReadAt(uint64_t offset, size_t n) {
  if (fd_ < 0) throw Error(label_ + ": cannot read: the file is already closed");
  if (offset + n > written_) throw Error(label_ + ": cannot read past what was written");
  std::string out(n, '\0');
  for (size_t got = 0; got < n;) {
    const ssize_t r = ::pread(fd_, out.data() + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) ThrowIoError(label_, "read", errno);
    if (r == 0) throw IoError(label_ + ": cannot read: the temporary file is shorter than written");
    got += static_cast<size_t>(r);
  }
  return out;
}

void AtomicFileSink::Restart() {
  if (fd_ < 0) throw Error(label_ + ": cannot write: the file is already closed");
  if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) ThrowIoError(label_, "write", errno);
  written_ = started_ = 0;
}

void AtomicFileSink::Commit() {
  if (fd_ < 0) throw Error(label_ + ": cannot write: the file is already closed");
  // on the disk before the new name can replace the old file: a reader after a power cut
  // finds the old file or the new one, never an empty file under the name
  if (durability_ == Durability::kSynced && ::fsync(fd_) != 0) {
    const int err = errno;
    Discard();
    ThrowIoError(label_, "write", err);
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp_.c_str());
    ThrowIoError(label_, "write", err);
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp_.c_str());
    ThrowIoError(label_, "replace", err);
  }
  if (durability_ == Durability::kUnsynced) return;
  if (later_)
    later_->Add(target_.parent_path(), label_);
  else
    SyncFolder(target_.parent_path(), label_);
}

void WriteFileAtomically(const stdfs::path& path, std::string_view bytes, std::string_view label,
                         FolderSync* later) {
  AtomicFileSink out(path, label, later);
  out.Write(bytes);
  out.Commit();
}

std::string ReadWholeFile(const stdfs::path& path, std::string_view label) {
  const std::string name = label.empty() ? path.string() : std::string(label);
  // Opened without waiting, so that a pipe put where a file was expected is refused below
  // instead of blocking until someone writes into it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) ThrowIoError(name, "open", errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) ThrowIoError(name, "read", errno);
  if (S_ISDIR(st.st_mode)) throw IoError(name + ": is a folder, not a file");
  // A device or a pipe has no end to read to (/dev/zero never stops).
  if (!S_ISREG(st.st_mode)) throw IoError(name + ": is not a regular file (a device, a pipe or a socket)");
  // The buffer sized by the file, and grown if the file grows meanwhile.
  std::string bytes;
  const size_t want = st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : size_t{1} << 16;
  bytes.reserve(want);
  // A large buffer in huge pages, asked for before its first touch: a few faults instead of
  // one per 4 KiB page (a hint; where the system has none it changes nothing).
  if (want >= kHugePageFile) {
    const auto from = (reinterpret_cast<uintptr_t>(bytes.data()) + kHugePage - 1) / kHugePage * kHugePage;
    const auto to = (reinterpret_cast<uintptr_t>(bytes.data()) + want) / kHugePage * kHugePage;
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
  }
  // resident in one call (for a large buffer the 4 KiB pages at either end of its huge ones)
  if (want >= kPrefaultFrom) PrefaultForWrite(bytes.data(), want);
  // Read a piece at a time into a small buffer that stays in the cache and appended: the
  // large buffer is written once, where sizing it first would zero it and read write it again.
  const size_t piece = std::min(want, kLocalReadPiece);
  const std::unique_ptr<char[]> buffer(new char[piece]);
  for (;;) {
    const ssize_t r = ::read(fd, buffer.get(), piece);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) ThrowIoError(name, "read", errno);
    if (r == 0) break;
    bytes.append(buffer.get(), static_cast<size_t>(r));
  }
  return bytes;
}

}  // namespace kve
