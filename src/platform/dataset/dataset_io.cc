// The table's packet and file entry points: the form is told by content, files are written
// under a temporary name and renamed, so a good earlier file is never half-overwritten.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/dataset/binary_packet.h"
#include "platform/dataset/dataset.h"
#include "platform/dataset/packet_format.h"
#include "platform/dataset/xml_packet.h"

namespace kve {
namespace {

// Rethrows the error being handled with `context` in front, keeping its kind.
[[noreturn]] void RethrowIn(const std::string& context) {
  try {
    throw;
  } catch (const FormatError& e) {
    throw FormatError(context + ": " + e.what());
  } catch (const ValueError& e) {
    throw ValueError(context + ": " + e.what());
  } catch (const IoError& e) {
    throw IoError(context + ": " + e.what());
  } catch (const EAbort&) {
    throw;
  } catch (const Error& e) {
    throw Error(context + ": " + e.what());
  }
}

bool LooksLikeXml(std::string_view b) {
  if (b.substr(0, 3) == "\xEF\xBB\xBF") b.remove_prefix(3);
  const size_t p = b.find_first_not_of(" \t\r\n");
  return p != std::string_view::npos && b[p] == '<';
}

// Gives the pages of bytes[0, done) back to the system while the rest is still being read, so
// a large binary packet and the table it fills are never both whole in memory. Only pages
// wholly inside the buffer are released; the allocator's own bookkeeping lies outside them.
class PageReleaser {
 public:
  explicit PageReleaser(std::string& bytes)
      : base_(reinterpret_cast<uintptr_t>(bytes.data())), page_(static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE))),
        from_((base_ + page_ - 1) / page_ * page_) {}
  void operator()(size_t done) {
    const uintptr_t upto = (base_ + done) / page_ * page_;
    if (upto <= from_) return;
    ::madvise(reinterpret_cast<void*>(from_), upto - from_, MADV_DONTNEED);
    from_ = upto;
  }

 private:
  uintptr_t base_, page_, from_;
};

// Loads a packet of either form into a scratch table, then into `ds`, so a bad packet leaves
// `ds` as it was. With `release`, a binary packet's bytes are dropped as they are read.
void LoadPacket(std::string& bytes, TClientDataSet& ds, bool release = false) {
  TClientDataSet scratch(ds.Name());
  if (packet::IsBinaryPacket(bytes)) {
    if (release)
      ReadBinaryPacket(bytes, scratch, PageReleaser(bytes));
    else
      ReadBinaryPacket(bytes, scratch);
  } else if (LooksLikeXml(bytes)) {
    ReadXmlPacket(bytes, scratch);
  } else {
    throw FormatError(bytes.empty() ? "empty, not a data packet"
                                    : "not a data packet (neither the binary signature nor XML)");
  }
  ds.Adopt(scratch);
}

constexpr uintptr_t kHugePage = uintptr_t{2} << 20;

std::string ErrnoText(int err) { return std::strerror(err); }

class FileSink final : public ByteSink {
 public:
  FileSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  void Write(const char* data, size_t n) override {
    while (n > 0) {
      const ssize_t w = ::write(fd_, data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        throw IoError(fmt::format("cannot write {}: {}", name_, ErrnoText(errno)));
      }
      data += w;
      n -= static_cast<size_t>(w);
      written_ += static_cast<uint64_t>(w);
    }
#ifdef __linux__
    // Start writing back what is complete while the rest is produced, so the fsync at the end
    // waits for little more than the tail.
    if (written_ - started_ >= kWritebackChunk) {
      ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(written_ - started_),
                        SYNC_FILE_RANGE_WRITE);
      started_ = written_;
    }
#endif
  }

 private:
  static constexpr uint64_t kWritebackChunk = uint64_t{8} << 20;
  int fd_;
  std::string name_;
  uint64_t written_ = 0;
  uint64_t started_ = 0;
};

}  // namespace

void TClientDataSet::SetData(std::string_view packet) {
  std::string bytes(packet);
  try {
    LoadPacket(bytes, *this);
  } catch (const Error&) {
    RethrowIn(fmt::format("{}: packet", name_.empty() ? "dataset" : name_));
  }
}

std::string TClientDataSet::Data() const {
  RequireActive("make a data packet");
  std::string out;
  StringSink sink(out);
  WriteBinaryPacket(*this, sink);
  return out;
}

void TClientDataSet::LoadFromFile(const std::filesystem::path& file) {
  const std::string name = file.string();
  std::string bytes;
  {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw IoError(fmt::format("{}: cannot open: {}", name, ErrnoText(errno)));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      throw IoError(fmt::format("{}: is a folder, not a file", name));
    }
    // Read straight into the buffer, sized by the file and grown if the file grows meanwhile.
    size_t got = 0;
    const size_t want = st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : size_t{1} << 16;
    bytes.reserve(want);
    // A large buffer in huge pages, asked for before its first touch: a few faults instead of
    // one per 4 KiB page (a hint; where the system has none it changes nothing).
    if (want >= kHugePage * 4) {
      const auto from = (reinterpret_cast<uintptr_t>(bytes.data()) + kHugePage - 1) / kHugePage * kHugePage;
      const auto to = (reinterpret_cast<uintptr_t>(bytes.data()) + want) / kHugePage * kHugePage;
      if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
    bytes.resize(want);
    for (;;) {
      if (got == bytes.size()) bytes.resize(bytes.size() * 2);
      const ssize_t r = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) {
        const int err = errno;
        ::close(fd);
        throw IoError(fmt::format("{}: cannot read: {}", name, ErrnoText(err)));
      }
      if (r == 0) break;
      got += static_cast<size_t>(r);
    }
    bytes.resize(got);
    ::close(fd);
  }
  try {
    LoadPacket(bytes, *this, /*release=*/true);
  } catch (const Error&) {
    RethrowIn(name);
  }
}

void TClientDataSet::SaveToFile(const std::filesystem::path& file, DataPacketFormat fmt) const {
  static std::atomic<unsigned> counter{0};
  const std::string name = file.string();
  RequireActive("save to a file");
  const std::filesystem::path tmp =
      file.parent_path() / fmt::format(".{}.{}-{}.tmp", file.filename().string(), ::getpid(), counter++);
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) throw IoError(fmt::format("{}: cannot create {}: {}", name, tmp.string(), ErrnoText(errno)));
  try {
    FileSink sink(fd, tmp.string());
    if (fmt == DataPacketFormat::Xml)
      WriteXmlPacket(*this, sink);
    else
      WriteBinaryPacket(*this, sink);
    // the data must be on disk before the new name can replace the old file
    if (::fsync(fd) != 0) throw IoError(fmt::format("cannot flush {}: {}", tmp.string(), ErrnoText(errno)));
  } catch (...) {
    ::close(fd);
    ::unlink(tmp.c_str());
    try {
      throw;
    } catch (const Error&) {
      RethrowIn(name);
    }
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    throw IoError(fmt::format("{}: cannot close {}: {}", name, tmp.string(), ErrnoText(err)));
  }
  if (::rename(tmp.c_str(), file.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    throw IoError(fmt::format("{}: cannot replace with {}: {}", name, tmp.string(), ErrnoText(err)));
  }
}

}  // namespace kve
