// A file system that reads from another and writes into a scratch folder, for a run that must
// leave every real file as it was.

#include <algorithm>
#include <map>
#include <set>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/fs/file_system.h"
#include "platform/fs/win_path.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

class OverlayFileSystem final : public FileSystem {
 public:
  OverlayFileSystem(FileSystem& base, const stdfs::path& scratch) : base_(base) {
    PathMapping m;
    for (char c = 'A'; c <= 'Z'; ++c) m.drives.emplace_back(c, scratch / std::string(1, c));
    m.shares = scratch / "shares";
    scratch_ = NewPosixFileSystem(std::move(m));
  }

  bool FileExists(std::string_view path) override {
    if (Hidden(path)) return false;
    return scratch_->FileExists(path) || base_.FileExists(path);
  }

  bool DirectoryExists(std::string_view path) override {
    return scratch_->DirectoryExists(path) || base_.DirectoryExists(path);
  }

  void CreateDir(std::string_view path) override {
    if (DirectoryExists(path)) return;
    WinPath w = ParseWinPath(path);
    if (!w.IsRoot() && !DirectoryExists(w.Parent().Text())) {
      throw IoError(std::string(path) + ": cannot create the folder: its parent does not exist", ErrorKind::kNotFound);
    }
    MakeScratchDir(path);
  }

  std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) override {
    if (!DirectoryExists(dir)) throw IoError(std::string(dir) + ": cannot list: no such folder", ErrorKind::kNotFound);
    std::map<std::string, std::string> byKey;  // lower-case name -> name
    if (scratch_->DirectoryExists(dir)) {
      for (std::string& n : scratch_->ListFiles(dir, mask)) byKey.emplace(AsciiLowered(n), n);
    }
    if (base_.DirectoryExists(dir)) {
      const std::string prefix = ParseWinPath(dir).Key() + "\\";
      for (std::string& n : base_.ListFiles(dir, mask)) {
        if (!hidden_.count(prefix + AsciiLowered(n))) byKey.emplace(AsciiLowered(n), n);
      }
    }
    std::vector<std::string> out;
    for (auto& [key, name] : byKey) out.push_back(std::move(name));
    return out;
  }

  std::string ReadFile(std::string_view path) override {
    if (scratch_->FileExists(path)) return scratch_->ReadFile(path);
    if (Hidden(path)) throw IoError(std::string(path) + ": no such file", ErrorKind::kNotFound);
    return base_.ReadFile(path);
  }

  std::string ReadFileHead(std::string_view path, size_t n) override {
    if (scratch_->FileExists(path)) return scratch_->ReadFileHead(path, n);
    if (Hidden(path)) throw IoError(std::string(path) + ": no such file", ErrorKind::kNotFound);
    return base_.ReadFileHead(path, n);
  }

  void WriteFile(std::string_view path, std::string_view data) override {
    WinPath w = ScratchFolderOf(path);
    scratch_->WriteFile(path, data);
    hidden_.erase(w.Key());
  }

  // Written into the scratch folder; the base's file of that name shows again once committed.
  std::unique_ptr<WriteStream> OpenForWrite(std::string_view path, Durability durability) override {
    class Stream final : public WriteStream {
     public:
      Stream(std::unique_ptr<WriteStream> inner, std::function<void()> shown)
          : inner_(std::move(inner)), shown_(std::move(shown)) {}
      void Write(std::string_view bytes) override { inner_->Write(bytes); }
      void WriteAt(uint64_t offset, std::string_view bytes) override { inner_->WriteAt(offset, bytes); }
      std::string ReadAt(uint64_t offset, size_t n) override { return inner_->ReadAt(offset, n); }
      void Restart() override { inner_->Restart(); }
      void Commit() override {
        inner_->Commit();
        shown_();
      }

     private:
      std::unique_ptr<WriteStream> inner_;
      std::function<void()> shown_;
    };
    const std::string key = ScratchFolderOf(path).Key();
    return std::make_unique<Stream>(scratch_->OpenForWrite(path, durability), [this, key] { hidden_.erase(key); });
  }

  void CopyFile(std::string_view from, std::string_view to) override { WriteFile(to, ReadFile(from)); }

  void RenameFile(std::string_view from, std::string_view to) override {
    if (scratch_->FileExists(from)) {
      scratch_->RenameFile(from, to);
      hidden_.erase(ParseWinPath(to).Key());
      if (base_.FileExists(from)) hidden_.insert(ParseWinPath(from).Key());
      return;
    }
    WriteFile(to, ReadFile(from));
    hidden_.insert(ParseWinPath(from).Key());
  }

  bool DeleteFile(std::string_view path) override {
    const bool existed = FileExists(path);
    if (scratch_->FileExists(path)) scratch_->DeleteFile(path);
    if (base_.FileExists(path)) hidden_.insert(ParseWinPath(path).Key());
    return existed;
  }

  std::optional<std::chrono::system_clock::time_point> FileTime(std::string_view path) override {
    if (scratch_->FileExists(path)) return scratch_->FileTime(path);
    if (Hidden(path)) return std::nullopt;
    return base_.FileTime(path);
  }

  // Libraries that open files themselves work in the scratch folder: a folder of either side
  // is made there, and what they write stays there.
  std::optional<stdfs::path> HostPath(std::string_view path) override {
    if (DirectoryExists(path)) MakeScratchDir(path);
    return scratch_->HostPath(path);
  }

  void BeginFolderBatch() override { scratch_->BeginFolderBatch(); }
  void SyncFolderBatch() override { scratch_->SyncFolderBatch(); }
  void EndFolderBatch() noexcept override { scratch_->EndFolderBatch(); }

 private:
  // The parsed `path`, its folder made in the scratch folder: IoError when neither side has it.
  WinPath ScratchFolderOf(std::string_view path) {
    WinPath w = ParseWinPath(path);
    if (w.IsRoot() || !DirectoryExists(w.Parent().Text())) {
      throw IoError(std::string(path) + ": cannot write: the folder does not exist", ErrorKind::kNotFound);
    }
    if (DirectoryExists(path)) throw IoError(std::string(path) + ": is a folder, not a file");
    MakeScratchDir(w.Parent().Text());
    return w;
  }

  bool Hidden(std::string_view path) const {
    return !hidden_.empty() && hidden_.count(ParseWinPath(path).Key()) > 0;
  }

  void MakeScratchDir(std::string_view path) {
    auto host = scratch_->HostPath(path);
    if (!host) throw IoError(std::string(path) + ": cannot be mapped into the scratch folder");
    std::error_code ec;
    stdfs::create_directories(*host, ec);
    if (ec) throw IoError(host->string() + ": " + ec.message());
  }

  FileSystem& base_;
  std::unique_ptr<FileSystem> scratch_;
  std::set<std::string> hidden_;  // keys of base files deleted or renamed away
};

}  // namespace

std::unique_ptr<FileSystem> NewOverlayFileSystem(FileSystem& base, std::filesystem::path scratch) {
  return std::make_unique<OverlayFileSystem>(base, scratch);
}

}  // namespace kve
