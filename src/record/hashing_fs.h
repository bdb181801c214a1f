#pragma once
// A file system for an export the ledger records: each file written through it has its
// SHA-256 and its records worked out on a thread of its own while the bytes go to the disk or
// the share (the write and its sync), so that the summary and the ledger take them instead of
// reading the file back. A file on a share (no host file stands for it) also keeps its bytes,
// for the ledger's copy, when asked to. Everything else passes to the file system it wraps.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/fs/file_system.h"
#include "record/summary.h"

namespace kve::record {

// What was written at a path through a HashingFileSystem.
struct WrittenFile {
  std::string sha256;
  uint64_t size = 0;
  FileRows rows;
  // Kept for a file on a share only, until taken (moved out) by whoever needs them.
  std::optional<std::string> bytes;
};

class HashingFileSystem final : public FileSystemWrapper {
 public:
  // `keepShareBytes`: whether the bytes of files written to a share are kept (for the
  // ledger's copy, so that nothing is read back over the network).
  explicit HashingFileSystem(FileSystem& inner, bool keepShareBytes = true)
      : FileSystemWrapper(inner), keepShareBytes_(keepShareBytes) {}

  // What was written at `path` (as this file system's callers name it) through here, when
  // the file there is still that one: `size` bytes and last changed at `time`, as written.
  // Null otherwise. Valid until the next call that writes, renames or deletes.
  WrittenFile* Recall(std::string_view path, uint64_t size, std::chrono::system_clock::time_point time);
  // Forgets every file written so far, and the bytes kept of them.
  void Clear() { written_.clear(); }

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
    WrittenFile file;
    std::chrono::system_clock::time_point time;
  };
  void Forget(std::string_view path);

  bool keepShareBytes_;
  std::map<std::string, Written> written_;  // by path, without regard to letter case
  double waited_ = 0;
};

}  // namespace kve::record
