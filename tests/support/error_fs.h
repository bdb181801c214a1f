#pragma once
// A FileSystem wrapper that fails on demand, for tests of what a caller does when a disk
// fills up or a share refuses a folder.

#include <cstdint>
#include <optional>

#include "platform/fs/file_system.h"

namespace kve {

class ErrorFileSystem final : public FileSystemWrapper {
 public:
  explicit ErrorFileSystem(FileSystem& base) : FileSystemWrapper(base) {}

  // Lets `bytes` more bytes be written (WriteFile, CopyFile, a stream's writes); a write that would go past them
  // fails as a full disk does and, being atomic, leaves its target as it was.
  void FailWritesAfter(uint64_t bytes) { budget_ = bytes; }
  void AllowWrites() { budget_.reset(); }
  // RenameFile fails after `n` more successful renames (a share gone between two files).
  void FailRenamesAfter(int n) { renames_ = n; }
  // CreateDir fails (a share without write permission).
  void FailCreateDir(bool fail) { failCreateDir_ = fail; }
  // Every change (write, copy, rename, delete, new folder) fails as on a read-only medium.
  void SetReadOnly(bool on) { readOnly_ = on; }
  uint64_t BytesWritten() const { return written_; }
  // Folder batches go to the base; counted so a test can tell that a run's changes were
  // batched and synced once.
  int BatchSyncs() const { return syncs_; }             // syncs of an outermost batch
  int UnbatchedChanges() const { return unbatched_; }   // writes, copies, renames outside one

  void CreateDir(std::string_view path) override;
  void WriteFile(std::string_view path, std::string_view data) override;
  std::unique_ptr<WriteStream> OpenForWrite(std::string_view path, Durability durability) override;
  void CopyFile(std::string_view from, std::string_view to) override;
  void RenameFile(std::string_view from, std::string_view to) override;
  bool DeleteFile(std::string_view path) override;
  void BeginFolderBatch() override {
    ++depth_;
    base_.BeginFolderBatch();
  }
  void SyncFolderBatch() override {
    if (depth_ == 1) ++syncs_;
    base_.SyncFolderBatch();
  }
  void EndFolderBatch() noexcept override {
    --depth_;
    base_.EndFolderBatch();
  }

 private:
  void Spend(std::string_view path, uint64_t bytes);
  void Charge(std::string_view path, uint64_t bytes);  // Spend, counting no change
  void RequireWritable(std::string_view path, std::string_view action) const;

  std::optional<uint64_t> budget_;
  bool failCreateDir_ = false;
  bool readOnly_ = false;
  std::optional<int> renames_;
  uint64_t written_ = 0;
  int depth_ = 0, syncs_ = 0, unbatched_ = 0;
};

}  // namespace kve
