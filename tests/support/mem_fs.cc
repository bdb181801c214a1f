// A file system held in memory: a map from path to bytes, and the set of folders.

#include <algorithm>
#include <map>
#include <set>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/fs/file_system.h"
#include "platform/fs/win_path.h"
#include "support/mem_fs.h"

namespace kve {
namespace {

class MemFileSystem final : public FileSystem {
 public:
  bool FileExists(std::string_view path) override {
    return files_.count(ParseWinPath(path).Key()) != 0;
  }

  bool DirectoryExists(std::string_view path) override { return IsDir(ParseWinPath(path)); }

  void CreateDir(std::string_view path) override {
    WinPath w = ParseWinPath(path);
    if (IsDir(w)) return;
    if (files_.count(w.Key())) throw IoError(std::string(path) + ": a file of that name exists");
    if (!w.IsRoot() && !IsDir(w.Parent())) {
      throw IoError(std::string(path) + ": the folder above does not exist");
    }
    dirs_.insert(w.Key());
  }

  std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) override {
    WinPath w = ParseWinPath(dir);
    if (!IsDir(w)) throw IoError(std::string(dir) + ": folder not found");
    const std::string key = w.Key();
    std::vector<std::string> names;
    for (const auto& [k, f] : files_) {
      if (f.parent == key && MatchesMask(f.name, mask)) names.push_back(f.name);
    }
    SortNamesWithoutCase(names);
    return names;
  }

  std::string ReadFile(std::string_view path) override {
    WinPath w = ParseWinPath(path);
    auto it = files_.find(w.Key());
    if (it == files_.end()) {
      throw IoError(std::string(path) + (IsDir(w) ? ": is a folder, not a file" : ": file not found"));
    }
    return it->second.data;
  }

  std::string ReadFileHead(std::string_view path, size_t n) override { return ReadFile(path).substr(0, n); }

  std::unique_ptr<WriteStream> OpenForWrite(std::string_view path, Durability) override {
    CheckWritable(path, ParseWinPath(path));
    return std::make_unique<BufferedWriteStream>(
        [this, p = std::string(path)](std::string_view data) { WriteFile(p, data); });
  }

  void WriteFile(std::string_view path, std::string_view data) override {
    WinPath w = ParseWinPath(path);
    CheckWritable(path, w);
    auto [it, added] = files_.try_emplace(w.Key());
    if (added) {
      it->second.name = w.parts.back();
      it->second.parent = w.Parent().Key();
    }
    it->second.data = std::string(data);
    it->second.time = std::chrono::system_clock::now();
  }

  void CopyFile(std::string_view from, std::string_view to) override {
    WinPath src = ParseWinPath(from);
    auto it = files_.find(src.Key());
    if (it == files_.end()) throw IoError(std::string(from) + ": file not found");
    std::string data = it->second.data;
    WriteFile(to, data);
  }

  void RenameFile(std::string_view from, std::string_view to) override {
    auto it = files_.find(ParseWinPath(from).Key());
    if (it == files_.end()) throw IoError(std::string(from) + ": file not found");
    if (ParseWinPath(to).Key() == it->first) return;
    File f = it->second;
    WriteFile(to, f.data);
    files_[ParseWinPath(to).Key()].time = f.time;  // a rename leaves the file's time as it was
    files_.erase(ParseWinPath(from).Key());
  }

  bool DeleteFile(std::string_view path) override { return files_.erase(ParseWinPath(path).Key()) != 0; }

  std::optional<std::chrono::system_clock::time_point> FileTime(std::string_view path) override {
    auto it = files_.find(ParseWinPath(path).Key());
    if (it == files_.end()) return std::nullopt;
    return it->second.time;
  }

  std::optional<std::filesystem::path> HostPath(std::string_view path) override {
    ParseWinPath(path);  // refuses a bad path as the other implementations do
    return std::nullopt;
  }

 private:
  struct File {
    std::string name;    // as first written
    std::string parent;  // key of the folder
    std::string data;
    std::chrono::system_clock::time_point time;
  };

  void CheckWritable(std::string_view path, const WinPath& w) const {
    if (w.IsRoot() || IsDir(w)) throw IoError(std::string(path) + ": is a folder, not a file");
    if (!IsDir(w.Parent())) throw IoError(std::string(path) + ": the folder does not exist");
  }

  bool IsDir(const WinPath& w) const {
    if (w.IsRoot() && w.root == WinPath::Root::Drive) return true;
    return dirs_.count(w.Key()) != 0;
  }

  std::map<std::string, File> files_;  // by key (lower case)
  std::set<std::string> dirs_;
};

}  // namespace

std::unique_ptr<FileSystem> NewMemFileSystem() { return std::make_unique<MemFileSystem>(); }

}  // namespace kve
