#pragma once
// A file system for an export the ledger records: each file written through it has its
// SHA-256 worked out on a thread of its own while the bytes go to the disk (the write and its
// sync), so that the ledger takes the hash instead of working it out again from the bytes read
// back. Everything else passes to the file system it wraps.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/fs/file_system.h"

namespace kve::record {

class HashingFileSystem final : public FileSystemWrapper {
 public:
  explicit HashingFileSystem(FileSystem& inner) : FileSystemWrapper(inner) {}

  // The SHA-256 of the file at `hostPath` as it was written through here, when the file there
  // is still that one (`size` bytes, its time as written); nothing otherwise.
  std::optional<std::string> HashOf(const std::filesystem::path& hostPath, uint64_t size);

  // How long the writes waited for their hashes after their own work was done, in seconds:
  // what the hashing added to them.
  double WaitedSeconds() const { return waited_; }

  void WriteFile(std::string_view path, std::string_view data) override;
  std::unique_ptr<WriteStream> OpenForWrite(std::string_view path, Durability durability) override {
    Forget(path);
    return base_.OpenForWrite(path, durability);
  }
  void CopyFile(std::string_view from, std::string_view to) override;
  void RenameFile(std::string_view from, std::string_view to) override;
  bool DeleteFile(std::string_view path) override;

 private:
  struct Written {
    std::string sha256;
    uint64_t size = 0;
    std::chrono::system_clock::time_point time;
  };
  void Forget(std::string_view path);

  std::map<std::filesystem::path, Written> written_;  // by host path
  double waited_ = 0;
};

}  // namespace kve::record
