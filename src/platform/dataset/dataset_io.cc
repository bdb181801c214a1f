// The table's packet and file entry points: the form is told by content, files are written
// under a temporary name and renamed, so a good earlier file is never half-overwritten.
#include <sys/mman.h>
#include <unistd.h>

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

// The packet writers' bytes into an atomic file.
class AtomicSink final : public ByteSink {
 public:
  explicit AtomicSink(AtomicFileSink& out) : out_(out) {}
  void Write(const char* data, size_t n) override { out_.Write(data, n); }

 private:
  AtomicFileSink& out_;
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
  const std::string name = file.string();
  std::string bytes = ReadWholeFile(file);
  try {
    LoadPacket(bytes, *this, /*release=*/true);
  } catch (const Error&) {
    RethrowWithContext(name);
  }
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
  AtomicFileSink out(file, name, later);
  try {
    AtomicSink sink(out);
    WritePacket(*this, sink, fmt);
  } catch (const IoError&) {
    throw;  // the sink's own errors name the file already
  } catch (const Error&) {
    RethrowWithContext(name);
  }
  out.Commit();
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
