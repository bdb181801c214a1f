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

namespace kve::batch {

class HashingFileSystem final : public FileSystem {
 public:
  explicit HashingFileSystem(FileSystem& inner) : inner_(inner) {}

  // The SHA-256 of the file at `hostPath` as it was written through here, when the file there
  // is still that one (`size` bytes, its time as written); nothing otherwise.
  std::optional<std::string> HashOf(const std::filesystem::path& hostPath, uint64_t size);

  // How long the writes waited for their hashes after their own work was done, in seconds:
  // what the hashing added to them.
  double WaitedSeconds() const { return waited_; }

  bool FileExists(std::string_view path) override { return inner_.FileExists(path); }
  bool DirectoryExists(std::string_view path) override { return inner_.DirectoryExists(path); }
  void CreateDir(std::string_view path) override { inner_.CreateDir(path); }
  std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) override {
    return inner_.ListFiles(dir, mask);
  }
  std::string ReadFile(std::string_view path) override { return inner_.ReadFile(path); }
  void WriteFile(std::string_view path, std::string_view data) override;
  void CopyFile(std::string_view from, std::string_view to) override;
  void RenameFile(std::string_view from, std::string_view to) override;
  bool DeleteFile(std::string_view path) override;
  std::optional<std::chrono::system_clock::time_point> FileTime(std::string_view path) override {
    return inner_.FileTime(path);
  }
  std::optional<std::filesystem::path> HostPath(std::string_view path) override { return inner_.HostPath(path); }
  void BeginFolderBatch() override { inner_.BeginFolderBatch(); }
  void SyncFolderBatch() override { inner_.SyncFolderBatch(); }
  void EndFolderBatch() noexcept override { inner_.EndFolderBatch(); }

 private:
  struct Written {
    std::string sha256;
    uint64_t size = 0;
    std::chrono::system_clock::time_point time;
  };
  void Forget(std::string_view path);

  FileSystem& inner_;
  std::map<std::filesystem::path, Written> written_;  // by host path
  double waited_ = 0;
};

}  // namespace kve::batch
