#pragma once
// Files and folders by Windows-form path, the form in which the screen builds and shows them:
// "C:\Palm\Kve\Exp\FILIAL.xml", "\\NOTE-01\Orvanta Web\EeePc\Kve\Exp". A path is absolute: a
// drive letter ("C:\..."), the root of the current drive ("\Kve\Exp"), or a share
// ("\\HOST\SHARE\..."). '\' and '/' both separate; names compare without regard to letter
// case. A path with a ".." part, a relative path or a malformed share path is refused with
// ValueError naming the path, before anything is touched.
//
// Errors: every failing operation raises IoError "PATH: what went wrong". Existence tests never
// raise for a place that cannot be reached (an unmapped drive, a missing share): they answer
// false, as the platform does.
//
// Not thread-safe; the screen runs on one thread.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/file_sink.h"

namespace kve {

// A file being written through FileSystem::OpenForWrite. Nothing is seen at its path until
// Commit, which puts the whole file in place at once, as WriteFile does; destroyed without
// Commit (a failure, a throw), it leaves the earlier file as it was and nothing beside it.
// Errors are IoError naming the path as the caller gave it.
class WriteStream {
 public:
  virtual ~WriteStream() = default;
  virtual void Write(std::string_view bytes) = 0;  // appends
  // For a writer that learns what belongs at the start only at the end: puts `bytes` over
  // bytes already written at `offset`, reads written bytes back (only those: reading past
  // them is an error), or empties the file to write it again from the start.
  virtual void WriteAt(uint64_t offset, std::string_view bytes) = 0;
  virtual std::string ReadAt(uint64_t offset, size_t n) = 0;
  virtual void Restart() = 0;
  virtual void Commit() = 0;  // once; after a failure nothing has changed at the path
};

// A WriteStream gathering the bytes in memory and handing them to `commit` whole, for file
// systems whose WriteFile is their only way to replace a file atomically.
class BufferedWriteStream final : public WriteStream {
 public:
  explicit BufferedWriteStream(std::function<void(std::string_view)> commit) : commit_(std::move(commit)) {}
  void Write(std::string_view bytes) override { data_.append(bytes); }
  void WriteAt(uint64_t offset, std::string_view bytes) override;
  std::string ReadAt(uint64_t offset, size_t n) override;
  void Restart() override { data_.clear(); }
  void Commit() override { commit_(data_); }

 private:
  std::function<void(std::string_view)> commit_;
  std::string data_;
};

// An entry of a folder as FileSystem::ListEntries reports it.
struct FolderEntry {
  enum class Kind { kFile, kFolder, kLink, kOther };
  std::string name;
  Kind kind = Kind::kOther;
  uint64_t bytes = 0;  // of a file
  // What tells this copy of the file from the next one written under its name (on the host:
  // device, file number, modification time in ns; on a share: what the server tells).
  uint64_t identity[3] = {};
};

class FileSystem : public FolderBatching {
 public:
  FileSystem() = default;
  virtual ~FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  virtual bool FileExists(std::string_view path) = 0;       // a file, not a folder
  virtual bool DirectoryExists(std::string_view path) = 0;  // a folder, drive root or share

  // Creates one folder; its parent must exist. An existing folder is not an error.
  virtual void CreateDir(std::string_view path) = 0;

  // Names (not paths) of the files of `dir` matching `mask` ('*' any run, '?' one character,
  // letter case ignored), sorted without regard to case.
  virtual std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) = 0;

  // Every entry of `dir` but "." and "..", files and folders alike, in no particular order;
  // a link is reported as a link, never followed (where the file system shows links at all).
  // IoError naming the folder when it cannot be listed. A file system that keeps no folders
  // lists none: the base answers IoError.
  virtual std::vector<FolderEntry> ListEntries(std::string_view dir);

  // The whole file. IoError when it is missing or a folder.
  virtual std::string ReadFile(std::string_view path) = 0;
  // The first `n` bytes of the file, fewer when it is shorter (a short file is no error), for
  // a reader that needs only a header. IoError as ReadFile.
  virtual std::string ReadFileHead(std::string_view path, size_t n) = 0;

  // Replaces the file with `data` at once: a reader sees the old content or the new, never a
  // part, and on failure the old file is left as it was. The folder must exist. On return the
  // file is on the disk, and so is its name - or, within a FolderBatch on this file system,
  // its name once the batch syncs (one flush per folder for the whole run).
  virtual void WriteFile(std::string_view path, std::string_view data) = 0;

  // WriteFile in pieces: the stream replaces the file when committed. The folder must exist
  // and `path` must not be one (IoError now, before a byte is written). kUnsynced leaves the
  // data and the name unsynced, for copies whose recorded hash tells a spoiled one.
  virtual std::unique_ptr<WriteStream> OpenForWrite(std::string_view path, Durability durability) = 0;

  // Copies `from` over `to`, atomically and durably as WriteFile.
  virtual void CopyFile(std::string_view from, std::string_view to) = 0;

  // Gives the file `from` the name `to` in the same folder, replacing an existing `to` at
  // once (a reader sees the old file or the new one). IoError when `from` does not exist.
  // Within a FolderBatch the new name is on the disk once the batch syncs.
  virtual void RenameFile(std::string_view from, std::string_view to) = 0;

  // Deletes a file; returns false when there was none.
  virtual bool DeleteFile(std::string_view path) = 0;

  // Last modification time; nothing when there is no such file.
  virtual std::optional<std::chrono::system_clock::time_point> FileTime(std::string_view path) = 0;

  // The host path a path stands for, for libraries that open files themselves; nothing when
  // the implementation keeps no files on the host or the path cannot be mapped.
  virtual std::optional<std::filesystem::path> HostPath(std::string_view path) = 0;
};

// A file system that passes every call to `base`: a double or a decorator derives from it and
// overrides only what it changes.
class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem& base) : base_(base) {}

  bool FileExists(std::string_view path) override { return base_.FileExists(path); }
  bool DirectoryExists(std::string_view path) override { return base_.DirectoryExists(path); }
  void CreateDir(std::string_view path) override { base_.CreateDir(path); }
  std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) override {
    return base_.ListFiles(dir, mask);
  }
  std::vector<FolderEntry> ListEntries(std::string_view dir) override { return base_.ListEntries(dir); }
  std::string ReadFile(std::string_view path) override { return base_.ReadFile(path); }
  std::string ReadFileHead(std::string_view path, size_t n) override { return base_.ReadFileHead(path, n); }
  void WriteFile(std::string_view path, std::string_view data) override { base_.WriteFile(path, data); }
  std::unique_ptr<WriteStream> OpenForWrite(std::string_view path, Durability durability) override {
    return base_.OpenForWrite(path, durability);
  }
  void CopyFile(std::string_view from, std::string_view to) override { base_.CopyFile(from, to); }
  void RenameFile(std::string_view from, std::string_view to) override { base_.RenameFile(from, to); }
  bool DeleteFile(std::string_view path) override { return base_.DeleteFile(path); }
  std::optional<std::chrono::system_clock::time_point> FileTime(std::string_view path) override {
    return base_.FileTime(path);
  }
  std::optional<std::filesystem::path> HostPath(std::string_view path) override { return base_.HostPath(path); }
  void BeginFolderBatch() override { base_.BeginFolderBatch(); }
  void SyncFolderBatch() override { base_.SyncFolderBatch(); }
  void EndFolderBatch() noexcept override { base_.EndFolderBatch(); }

 protected:
  FileSystem& base_;
};

// Where Windows-form paths live on this host.
struct PathMapping {
  // Drive letter (upper case) -> host folder. A drive without an entry is unreachable.
  std::vector<std::pair<char, std::filesystem::path>> drives;
  // "\\HOST\SHARE\x" -> shares/HOST/SHARE/x (a CIFS or other mount). Empty: no shares.
  std::filesystem::path shares;
  // The drive of paths that start at a root ("\Kve\Exp").
  char currentDrive = 'C';
  // Names as they are, letter case included, as the host's own paths are.
  bool exactNames = false;
};

// The real file system of this host. Each name of a path is found without regard to case
// (the exact name is taken when it exists), since Windows paths match that way.
std::unique_ptr<FileSystem> NewPosixFileSystem(PathMapping mapping);

// The host's files by their host paths ("/var/lib/kve/ledger/FILIAL.CDS"; a relative path
// is taken from the working folder), names as they are, for the readers and writers of the
// workstation's own files (configuration, registry, ledger, data packets) whose callers have
// no file system of their own. Errors name the path as given. Cheap to make: one per caller
// or thread, as every file system is used by one thread at a time. With `later`, the folder
// flushes of its writes are left to it (one for many files), as within a FolderBatch.
std::unique_ptr<FileSystem> NewHostFileSystem(FolderSync* later = nullptr);

// A file system that reads `base` and never changes it: files written, copied or renamed
// go into the host folder `scratch` (one folder per drive letter, "shares" for shares) and are
// read from there afterwards; files deleted or renamed away are hidden. Listings merge both.
// HostPath gives the place in `scratch`, making a folder that exists on either side, so a
// library writing through it writes into `scratch` too (and sees only what is there).
// `base` must outlive it; `scratch` must exist, and is the caller's to remove.
std::unique_ptr<FileSystem> NewOverlayFileSystem(FileSystem& base, std::filesystem::path scratch);

// The version of a Windows executable or package ("4.2.0.7"), read from the fixed file-info
// block of its version resource; an empty text when the file does not exist, is no PE image or
// has no version resource. A PE image whose headers or resource tree point outside the file
// raises FormatError naming the path. Only the head of the file is read: its headers and its
// sections, at most kFileVersionMaxRead bytes; an image whose sections reach further raises
// FormatError naming the path and the bound.
inline constexpr size_t kFileVersionMaxRead = size_t{64} << 20;
std::string GetFileVersion(FileSystem& fs, std::string_view path);
// The same, from the file's bytes (FormatError without a path).
std::string FileVersionOfImage(std::string_view bytes);

}  // namespace kve
