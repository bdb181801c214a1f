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
// only notes the folder, and the run calls Sync() once before it reports success. Writers
// behind an interface (the file system, the install queue) keep such a FolderSync themselves
// and open it for a run through FolderBatch.

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
  size_t Pending() const { return dirs_.size(); }  // folders noted and not yet flushed

  // The batches of a writer that keeps this FolderSync: Begin and End nest, and Open() is what
  // its sinks are given - this while a batch is open, else nullptr (each file flushes its
  // folder). Only the outermost batch flushes: SyncBatch() of an inner one leaves its folders
  // to the outer, which syncs before its run reports success. End() of the outermost flushes
  // what is left as well as it can (a failed run promises nothing, but loses no more).
  void Begin() { ++depth_; }
  void SyncBatch() {
    if (depth_ <= 1) Sync();
  }
  void End() noexcept;
  FolderSync* Open() { return depth_ > 0 ? this : nullptr; }

 private:
  std::vector<std::pair<std::filesystem::path, std::string>> dirs_;
  int depth_ = 0;
};

// A writer of files whose folder flushes a run can gather (the file system, the install
// queue). The defaults batch nothing: every file flushes its own folder, or there is no
// folder to flush.
class FolderBatching {
 public:
  virtual ~FolderBatching() = default;
  virtual void BeginFolderBatch() {}
  virtual void SyncFolderBatch() {}
  virtual void EndFolderBatch() noexcept {}
};

// One run's batch of folder flushes on a writer:
//
//   FolderBatch batch(files);  // writes through `files` now only note their folder
//   ... write the files ...
//   batch.Sync();              // each folder flushed once; then the run may report success
//
// Leaving the scope without Sync (a failure) flushes what it can and reports nothing. Every
// file in place is whole either way; only a name's survival of a power cut waits for Sync.
class FolderBatch {
 public:
  explicit FolderBatch(FolderBatching& writer) : writer_(writer) { writer_.BeginFolderBatch(); }
  ~FolderBatch() { writer_.EndFolderBatch(); }
  FolderBatch(const FolderBatch&) = delete;
  FolderBatch& operator=(const FolderBatch&) = delete;
  void Sync() { writer_.SyncFolderBatch(); }

 private:
  FolderBatching& writer_;
};

// What Commit puts on the disk before it returns.
enum class Durability {
  kSynced,    // the data before the rename, and the name (the folder's flush, or `later`'s)
  kUnsynced,  // nothing: for copies that a crash may spoil and whose hash tells a spoiled one
};

class AtomicFileSink {
 public:
  // Creates the temporary beside `target`. `label` names the target in errors (its path when
  // empty); with `later`, Commit leaves the folder's flush to it.
  explicit AtomicFileSink(const std::filesystem::path& target, std::string_view label = {},
                          FolderSync* later = nullptr, Durability durability = Durability::kSynced);
  ~AtomicFileSink();  // removes the temporary unless Commit succeeded
  AtomicFileSink(const AtomicFileSink&) = delete;
  AtomicFileSink& operator=(const AtomicFileSink&) = delete;

  void Write(const char* data, size_t n);
  void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
  // For a writer that learns what belongs at the start of the file only at its end: puts
  // `bytes` over bytes already written at `offset`, reads written bytes back, or empties the
  // temporary to write it again from the start.
  void WriteAt(uint64_t offset, std::string_view bytes);
  std::string ReadAt(uint64_t offset, size_t n);
  void Restart();
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
  Durability durability_;
  int fd_ = -1;
  uint64_t written_ = 0, started_ = 0;  // bytes written; bytes handed to write-back
};

// Replaces `path` with `bytes` through an AtomicFileSink.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         std::string_view label = {}, FolderSync* later = nullptr);

// The whole content of a file; IoError naming it ("LABEL: cannot read: Is a directory").
// A buffer of kHugePageFile bytes or more is asked to lie in huge pages of kHugePage bytes, so
// one who gives its pages back early does so by whole huge pages.
std::string ReadWholeFile(const std::filesystem::path& path, std::string_view label = {});
inline constexpr size_t kHugePage = size_t{2} << 20;
inline constexpr size_t kHugePageFile = 4 * kHugePage;

}  // namespace kve
