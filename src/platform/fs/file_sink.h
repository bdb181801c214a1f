#pragma once
// Writing a host file whole or not at all, and reading one whole. Every write of a file that
// a reader may open meanwhile (a HotSync, the eeePC, the next export) goes through here:
//
//   AtomicFileSink out(target);       // a new temporary beside the target
//   out.Write(bytes); ...             // any number of pieces
//   out.Commit();                     // fsync, rename over the target, fsync of the folder
//
// The temporary is created with a name no one else uses (".NAME.tmp-PID-N", never following
// a link planted there) and is removed on any failure, a throw from the caller's own code
// included: the target holds the old content or the new, never a part. Errors are IoError
// "LABEL: cannot write: REASON", LABEL being the target's path or the name the caller shows
// for it (a Windows-form path).
//
// Syncing the folder makes the rename itself durable, at the cost of one folder flush per
// file. A run that writes many files into one folder passes a FolderSync: each Commit then
// only notes the folder, and the run calls Sync() once before it reports success.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kve {

// Folders whose new entries must reach the disk before the work that wrote them is done.
class FolderSync {
 public:
  // Notes `dir`; `label` names it in an error.
  void Add(const std::filesystem::path& dir, std::string_view label);
  // Flushes each noted folder once and forgets them; IoError "LABEL: cannot sync the folder:
  // REASON" for the first that fails.
  void Sync();
  bool Empty() const { return dirs_.empty(); }

 private:
  std::vector<std::pair<std::filesystem::path, std::string>> dirs_;
};

class AtomicFileSink {
 public:
  // Creates the temporary beside `target`. `label` names the target in errors (its path when
  // empty); with `later`, Commit leaves the folder's flush to it.
  explicit AtomicFileSink(const std::filesystem::path& target, std::string_view label = {},
                          FolderSync* later = nullptr);
  ~AtomicFileSink();  // removes the temporary unless Commit succeeded
  AtomicFileSink(const AtomicFileSink&) = delete;
  AtomicFileSink& operator=(const AtomicFileSink&) = delete;

  void Write(const char* data, size_t n);
  void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
  // Puts the file in place; after a failure the temporary is gone and the target untouched
  // (unless only the folder's flush failed: then the new file is in place but may not survive
  // a power cut, and the error says so).
  void Commit();
  const std::string& Label() const { return label_; }

 private:
  void Discard() noexcept;

  std::filesystem::path target_, temp_;
  std::string label_;
  FolderSync* later_;
  int fd_ = -1;
  uint64_t written_ = 0, started_ = 0;  // bytes written; bytes handed to write-back
};

// Replaces `path` with `bytes` through an AtomicFileSink.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         std::string_view label = {}, FolderSync* later = nullptr);

// The whole content of a file; IoError naming it ("LABEL: cannot read: Is a directory").
std::string ReadWholeFile(const std::filesystem::path& path, std::string_view label = {});

}  // namespace kve
