// Feeds bytes to the version-resource reader, as an executable copied from an installation
// folder or read from another computer's share. Anything malformed must be "no version" or a
// FormatError, never a crash or a read out of bounds; a version read is four numbers.
//
// The same bytes are also read through GetFileVersion from a file as an SMB server may hand it
// over, the input's first byte choosing how: a file far longer than its bytes (zeros after
// them, up to 4 GB), a file replaced by a shorter one between two reads, or a server that ends
// every read early. The reader must ask for at most its bound in one read, three reads in all,
// and never for the whole file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/common/error.h"
#include "platform/fs/file_system.h"

namespace {

void CheckVersion(const std::string& v) {
  int dots = 0;
  for (char c : v) {
    if (c == '.') ++dots;
    else if (c < '0' || c > '9') std::abort();
  }
  if (!v.empty() && dots != 3) std::abort();
}

class ServedFile final : public kve::FileSystem {
 public:
  enum Shape { kEnormous, kReplaced, kCutShort, kShapes };
  ServedFile(Shape shape, uint64_t knob, std::string_view bytes) : shape_(shape), knob_(knob), bytes_(bytes) {}

  bool FileExists(std::string_view) override { return true; }
  std::string ReadFileHead(std::string_view, size_t n) override {
    if (n > kve::kFileVersionMaxRead || ++reads_ > 3) std::abort();
    std::string_view b = bytes_;
    switch (shape_) {
      case kEnormous: {
        std::string out(b.substr(0, n));
        const uint64_t size = b.size() + (knob_ << 24);
        out.resize(static_cast<size_t>(std::min<uint64_t>(n, size)), '\0');
        return out;
      }
      case kReplaced:  // each read finds a shorter file than the one before
        return std::string(b.substr(0, std::min(n, b.size() >> (reads_ - 1))));
      default:  // a read ends after `knob` bytes, whatever the file holds
        return std::string(b.substr(0, std::min<size_t>(n, knob_)));
    }
  }
  std::string ReadFile(std::string_view) override { std::abort(); }

  bool DirectoryExists(std::string_view) override { return false; }
  void CreateDir(std::string_view) override { std::abort(); }
  std::vector<std::string> ListFiles(std::string_view, std::string_view) override { std::abort(); }
  void WriteFile(std::string_view, std::string_view) override { std::abort(); }
  std::unique_ptr<kve::WriteStream> OpenForWrite(std::string_view, kve::Durability) override { std::abort(); }
  void CopyFile(std::string_view, std::string_view) override { std::abort(); }
  void RenameFile(std::string_view, std::string_view) override { std::abort(); }
  bool DeleteFile(std::string_view) override { std::abort(); }
  std::optional<std::chrono::system_clock::time_point> FileTime(std::string_view) override { return std::nullopt; }
  std::optional<std::filesystem::path> HostPath(std::string_view) override { return std::nullopt; }
  void BeginFolderBatch() override {}
  void SyncFolderBatch() override {}
  void EndFolderBatch() noexcept override {}

 private:
  Shape shape_;
  uint64_t knob_;
  std::string_view bytes_;
  int reads_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    CheckVersion(kve::FileVersionOfImage(bytes));
  } catch (const kve::FormatError&) {
  }
  if (size < 3) return 0;
  const auto shape = static_cast<ServedFile::Shape>(data[0] % ServedFile::kShapes);
  // Enormous: up to 255 x 16 MB of zeros; cut short: reads end after up to 64 KB.
  const uint64_t knob = shape == ServedFile::kEnormous ? data[1] : (uint64_t{data[1]} << 8 | data[2]);
  ServedFile served(shape, knob, bytes.substr(3));
  try {
    CheckVersion(kve::GetFileVersion(served, "\\\\NOTE-KITCHEN-01\\Orvanta Web\\EeePc\\Kve\\Bin\\RDL.exe"));
  } catch (const kve::FormatError&) {
  }
  return 0;
}
