// The table's packet and file entry points: the form is told by content, files are written
// under a temporary name and renamed, so a good earlier file is never half-overwritten.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/dataset/binary_packet.h"
#include "platform/dataset/dataset.h"
#include "platform/dataset/packet_format.h"
#include "platform/dataset/xml_packet.h"
#include "platform/fs/file_sink.h"
#include "platform/fs/file_system.h"

namespace kve {
namespace {

bool LooksLikeXml(std::string_view b) {
  if (b.substr(0, 3) == "\xEF\xBB\xBF") b.remove_prefix(3);
  const size_t p = b.find_first_not_of(" \t\r\n");
  return p != std::string_view::npos && b[p] == '<';
}

// Gives pages of a packet's buffer back to the system once its reader is done with them, so a
// large packet and the table it fills are never both whole in memory. Only pages wholly inside
// the buffer are released (the allocator's own bookkeeping lies outside them); a buffer large
// enough to lie in huge pages is released by whole huge pages, so that none is split.
class PageReleaser {
 public:
  explicit PageReleaser(const std::string& bytes) : bytes_(bytes) {}

  // Bytes [from, to) of the buffer are done with. Its place is looked up each time: an XML
  // packet may have been replaced by its UTF-8 form in the same string meanwhile.
  void operator()(size_t from, size_t to) {
    const auto base = reinterpret_cast<uintptr_t>(bytes_.data());
    if (base != base_) {
      base_ = released_ = base;
      unit_ = bytes_.size() >= kHugePageFile ? kHugePage : static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    }
    const uintptr_t a = (std::max(base + from, released_) + unit_ - 1) / unit_ * unit_;
    const uintptr_t b = (base + to) / unit_ * unit_;
    if (b <= a) return;
    ::madvise(reinterpret_cast<void*>(a), b - a, MADV_DONTNEED);
    released_ = b;
  }

 private:
  const std::string& bytes_;
  uintptr_t base_ = 0, released_ = 0, unit_ = 0;
};

// Loads a packet of either form into a scratch table, then into `ds`, so a bad packet leaves
// `ds` as it was. With `release`, the packet's bytes are dropped as they are read.
void LoadPacket(std::string& bytes, TClientDataSet& ds, bool release = false) {
  TClientDataSet scratch(ds.Name());
  std::function<void(size_t, size_t)> done;
  if (release) done = PageReleaser(bytes);
  if (packet::IsBinaryPacket(bytes)) {
    ReadBinaryPacket(bytes, scratch, done ? [&](size_t upto) { done(0, upto); } : std::function<void(size_t)>());
  } else if (LooksLikeXml(bytes)) {
    ReadXmlPacket(bytes, scratch, done);
  } else {
    throw FormatError(bytes.empty() ? "empty, not a data packet"
                                    : "not a data packet (neither the binary signature nor XML)");
  }
  ds.Adopt(scratch);
}

// The packet writers' bytes into a file being written whole.
class StreamSink final : public ByteSink {
 public:
  explicit StreamSink(WriteStream& out) : out_(out) {}
  void Write(const char* data, size_t n) override { out_.Write(std::string_view(data, n)); }

 private:
  WriteStream& out_;
};

void WritePacket(const TClientDataSet& ds, ByteSink& sink, DataPacketFormat fmt) {
  if (fmt == DataPacketFormat::Xml)
    WriteXmlPacket(ds, sink);
  else
    WriteBinaryPacket(ds, sink);
}

}  // namespace

void TClientDataSet::SetData(std::string_view packet) {
  std::string bytes(packet);
  try {
    LoadPacket(bytes, *this);
  } catch (const Error&) {
    RethrowWithContext(fmt::format("{}: packet", name_.empty() ? "dataset" : name_));
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
  LoadFromFile(*NewHostFileSystem(), file.string());
}

void TClientDataSet::LoadFromFile(FileSystem& fs, std::string_view path) {
  std::string bytes = fs.ReadFile(path);
  try {
    LoadPacket(bytes, *this, /*release=*/true);
  } catch (const Error&) {
    RethrowWithContext(path);
  }
}

void TClientDataSet::SaveToFile(const std::filesystem::path& file, DataPacketFormat fmt,
                                FolderSync* later) const {
  const std::string name = file.string();
  RequireActive("save to a file");
  // Streamed, never whole in memory: a host file may be far larger than an export's.
  std::unique_ptr<FileSystem> host = NewHostFileSystem(later);
  std::unique_ptr<WriteStream> out = host->OpenForWrite(name, Durability::kSynced);
  try {
    StreamSink sink(*out);
    WritePacket(*this, sink, fmt);
  } catch (const IoError&) {
    throw;  // the stream's own errors name the file already
  } catch (const Error&) {
    RethrowWithContext(name);
  }
  out->Commit();
}

void TClientDataSet::SaveToFile(FileSystem& fs, std::string_view path, DataPacketFormat fmt) const {
  RequireActive("save to a file");
  std::string bytes;
  try {
    StringSink sink(bytes);
    WritePacket(*this, sink, fmt);
  } catch (const Error&) {
    RethrowWithContext(path);
  }
  fs.WriteFile(path, bytes);  // its errors name the path
}

}  // namespace kve
