// The install queue kept in folders: ROOT/<user>/Install/<file>.

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/fs/file_sink.h"
#include "platform/fs/file_system.h"
#include "platform/fs/leftovers.h"
#include "platform/instaide/install_aide.h"
#include "platform/instaide/queue_folder.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

// The file name a queue path ends with ("C:\Palm\Kve\Exp\FILIAL.pdb" -> "FILIAL.pdb"); empty
// when it names no file that could sit in a queue folder: not one safe component, or a name
// beginning with '.', which the queue keeps for its temporaries.
std::string QueuedName(std::string_view path) {
  const size_t cut = path.find_last_of("\\/");
  std::string name(cut == std::string_view::npos ? path : path.substr(cut + 1));
  if (!IsSafeHotSyncUserName(name) || name[0] == '.') return {};
  return name;
}

class FolderInstallAide final : public InstallAide {
 public:
  FolderInstallAide(stdfs::path root, FileSystem& files) : root_(std::move(root)), files_(files) {}

  int PltGetUserCount() override { return static_cast<int>(Users().size()); }

  int PltGetUser(unsigned int index, char* name, std::int16_t* size) override {
    if (size == nullptr) return kPltBufferTooSmall;
    const int given = name == nullptr ? 0 : std::max<int>(*size, 0);
    const std::vector<std::string> users = Users();
    if (index >= users.size()) {
      if (given > 0) name[0] = '\0';
      *size = 1;
      return kPltNoSuchUser;
    }
    const std::string& user = users[index];
    const size_t whole = HotSyncNamePrefix(user).size();
    *size = static_cast<std::int16_t>(whole + 1);
    if (given == 0) return kPltBufferTooSmall;
    const size_t n = FitUtf8(user, std::min<size_t>(whole, static_cast<size_t>(given - 1)));
    std::memcpy(name, user.data(), n);
    name[n] = '\0';
    return n < whole ? kPltBufferTooSmall : kPltOk;
  }

  int PltInstallFile(const char* user, const char* path) override {
    std::string name;
    if (int r = Check(user, path, name); r != kPltOk) return r;
    try {
      QueueFolder folder;
      if (int r = Reach(user, false, folder); r != kPltOk) return r;
      std::optional<stdfs::path> host = files_.HostPath(path);
      std::string bytes;
      if (host) {
        std::error_code ec;
        if (!stdfs::is_regular_file(*host, ec)) return kPltNoSuchFile;
      } else {
        if (!files_.FileExists(path)) return kPltNoSuchFile;
        bytes = files_.ReadFile(path);
      }
      // The entry carries the file's own name as found, whatever case the path was typed in.
      if (host) name = host->filename().string();
      // Reached again just before the write, making a missing Install folder, so that a link
      // put in place meanwhile is seen.
      if (int r = Reach(user, true, folder); r != kPltOk) return r;
      if (int r = Place(folder.Path(), name, host ? &*host : nullptr, bytes); r != kPltOk) return r;
      return DeleteEntries(folder, name, name);
    } catch (const ValueError&) {
      return kPltNoSuchFile;  // a path the file system cannot parse names no reachable file
    } catch (const std::exception&) {
      return kPltIoError;
    }
  }

  int PltStageInstallFile(const char* user, const char* path, std::uint64_t* bytes) override {
    if (bytes != nullptr) *bytes = 0;
    std::string name;
    if (int r = Check(user, path, name); r != kPltOk) return r;
    try {
      QueueFolder folder;
      if (int r = Reach(user, false, folder); r != kPltOk) return r;
      std::string content;
      if (int r = ReadSource(path, name, content); r != kPltOk) return r;
      if (int r = Reach(user, true, folder); r != kPltOk) return r;
      // A temporary's name of this process: a run killed before its commit leaves it as
      // any unfinished copy, for the next queue change to remove.
      const std::string staged = fmt::format(".{}.staged.tmp-{}-{}", name, ::getpid(), serial_++);
      if (Place(folder.Path(), staged, nullptr, content) != kPltOk) return kPltIoError;
      std::uintmax_t size = 0;
      std::uint64_t identity[3];
      if (!folder.StatFile(staged, size, identity) || size != content.size()) {
        folder.Remove(staged);
        return kPltIoError;
      }
      std::vector<Staged>& list = staged_[user];
      for (auto it = list.begin(); it != list.end(); ++it) {
        if (!EqualsIgnoreCase(it->name, name)) continue;
        folder.Remove(it->staged);  // staged twice: the later copy counts
        list.erase(it);
        break;
      }
      list.push_back({staged, name});
      if (bytes != nullptr) *bytes = content.size();
      return kPltOk;
    } catch (const ValueError&) {
      return kPltNoSuchFile;
    } catch (const std::exception&) {
      return kPltIoError;
    }
  }

  int PltCommitStaged(const char* user) override {
    if (user == nullptr || !IsSafeHotSyncUserName(user)) return kPltBadUserName;
    auto it = staged_.find(user);
    if (it == staged_.end() || it->second.empty()) return kPltOk;
    std::vector<Staged>& list = it->second;
    try {
      QueueFolder folder;
      if (int r = Reach(user, false, folder); r != kPltOk) return r;
      if (!folder.IsOpen()) return kPltIoError;  // the folder went away with what was staged
      int result = kPltOk;
      size_t placed = 0;
      for (; placed < list.size(); ++placed) {
        try {
          folder.Rename(list[placed].staged, list[placed].name);
        } catch (const IoError&) {
          result = kPltIoError;
          break;
        }
      }
      // Entries spelled in another letter case are the same entries to a HotSync.
      for (size_t i = 0; i < placed; ++i)
        if (DeleteEntries(folder, list[i].name, list[i].name) != kPltOk) result = kPltIoError;
      list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(placed));
      if (FolderSync* later = folders_.Open()) {
        later->Add(folder.Path(), folder.Path().string());
      } else {
        folder.Sync();
      }
      return result;
    } catch (const std::exception&) {
      return kPltIoError;
    }
  }

  int PltDiscardStaged(const char* user) override {
    if (user == nullptr || !IsSafeHotSyncUserName(user)) return kPltBadUserName;
    auto it = staged_.find(user);
    if (it == staged_.end()) return kPltOk;
    int result = kPltOk;
    try {
      QueueFolder folder;
      if (int r = Reach(user, false, folder); r != kPltOk) return r;
      if (folder.IsOpen()) {
        for (const Staged& s : it->second) {
          try {
            folder.Remove(s.staged);
          } catch (const IoError&) {
            result = kPltIoError;  // a '.' name: never installed, removed by a later run
          }
        }
      }
    } catch (const std::exception&) {
      result = kPltIoError;
    }
    staged_.erase(it);
    return result;
  }

  int PltGetInstallFileInfo(const char* user, const char* path, PltEntryInfo* info) override {
    std::string name;
    if (int r = Check(user, path, name); r != kPltOk) return r;
    if (info == nullptr) return kPltBufferTooSmall;
    try {
      QueueFolder folder;
      if (int r = Reach(user, false, folder); r != kPltOk) return r;
      if (!folder.IsOpen()) return kPltNoSuchFile;
      // The name as typed first, then any spelling of it.
      std::vector<std::string> candidates{name};
      for (const QueueFolder::Entry& e : folder.List())
        if (e.kind == QueueFolder::Kind::kFile && e.name != name && EqualsIgnoreCase(e.name, name))
          candidates.push_back(e.name);
      for (const std::string& c : candidates) {
        std::uintmax_t bytes = 0;
        if (folder.StatFile(c, bytes, info->identity)) {
          info->bytes = bytes;
          return kPltOk;
        }
      }
      return kPltNoSuchFile;
    } catch (const std::exception&) {
      return kPltIoError;
    }
  }

  void BeginFolderBatch() override { folders_.Begin(); }
  void SyncFolderBatch() override { folders_.SyncBatch(); }
  void EndFolderBatch() noexcept override { folders_.End(); }

  int PltRemoveInstallFile(const char* user, const char* path) override {
    std::string name;
    if (int r = Check(user, path, name); r != kPltOk) return r;
    try {
      QueueFolder folder;
      if (int r = Reach(user, false, folder); r != kPltOk || !folder.IsOpen()) return r;
      return DeleteEntries(folder, name, "");
    } catch (const std::exception&) {
      return kPltIoError;
    }
  }

 private:
  // Users in byte order of their names; a root that does not exist has none. A user folder
  // that is a symbolic link is no user: the queue never follows one.
  std::vector<std::string> Users() const {
    std::vector<std::string> users;
    std::error_code ec;
    for (stdfs::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
      std::string n = it->path().filename().string();
      std::error_code sec;
      if (IsSafeHotSyncUserName(n) && it->symlink_status(sec).type() == stdfs::file_type::directory)
        users.push_back(std::move(n));
    }
    std::sort(users.begin(), users.end());
    return users;
  }

  // The longest prefix of `s` of at most `max` bytes that ends before a character.
  static size_t FitUtf8(const std::string& s, size_t max) {
    if (s.size() <= max) return s.size();
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return n;
  }

  // The entry's name, or why the call names none.
  static int Check(const char* user, const char* path, std::string& name) {
    if (user == nullptr || !IsSafeHotSyncUserName(user)) return kPltBadUserName;
    if (path == nullptr) return kPltBadFileName;
    name = QueuedName(path);
    return name.empty() ? kPltBadFileName : kPltOk;
  }

  // The user's Install folder, made when `create`. A user folder that is a link is no user;
  // an Install folder that is a link refuses every change. Without `create`, a missing
  // Install folder answers kPltOk with `folder` closed: it holds nothing to remove.
  int Reach(const char* user, bool create, QueueFolder& folder) const {
    switch (folder.Reach(root_, user, create)) {
      case QueueFolder::Open::kOpened:
        return kPltOk;
      case QueueFolder::Open::kNoUser:
      case QueueFolder::Open::kLinkedUser:
        return kPltNoSuchUser;
      case QueueFolder::Open::kNoInstallFolder:
        return create ? kPltIoError : kPltOk;
      case QueueFolder::Open::kLinkedInstallFolder:
        return kPltIoError;
    }
    return kPltIoError;
  }

  // Deletes the entries named `name` without regard to case, as Windows matches names, but
  // `keep`. A folder inside the queue is never an entry. The unfinished copies of runs that
  // were killed go as well; a HotSync never installs them, but nothing else would remove them.
  static int DeleteEntries(const QueueFolder& folder, const std::string& name, const std::string& keep) {
    int result = kPltOk;
    for (const QueueFolder::Entry& e : folder.List()) {
      if (e.kind == QueueFolder::Kind::kFile && IsLeftoverOfEndedRun(e.name)) {
        try {
          folder.Remove(e.name);
        } catch (const IoError&) {
          // left for the next run
        }
        continue;
      }
      if (e.name == keep || e.kind == QueueFolder::Kind::kFolder || !EqualsIgnoreCase(e.name, name))
        continue;
      try {
        folder.Remove(e.name);
      } catch (const IoError&) {
        result = kPltIoError;
      }
    }
    return result;
  }

  // The bytes of the file at `path` and its own name as found; kPltNoSuchFile when there is
  // no such file.
  int ReadSource(const char* path, std::string& name, std::string& content) {
    if (std::optional<stdfs::path> host = files_.HostPath(path)) {
      std::error_code ec;
      if (!stdfs::is_regular_file(*host, ec)) return kPltNoSuchFile;
      name = host->filename().string();
      content = files_.ReadFile(path);
      return kPltOk;
    }
    if (!files_.FileExists(path)) return kPltNoSuchFile;
    content = files_.ReadFile(path);
    return kPltOk;
  }

  // Writes the entry through the atomic sink, so a HotSync never finds part of a file and a
  // crash leaves the old entry.
  int Place(const stdfs::path& dir, const std::string& name, const stdfs::path* source,
            const std::string& bytes) {
    try {
      // The queue is a folder of this host, its flushes gathered with the batch's.
      std::unique_ptr<FileSystem> queue = NewHostFileSystem(folders_.Open());
      queue->WriteFile((dir / name).string(), source ? queue->ReadFile(source->string()) : bytes);
      return kPltOk;
    } catch (const Error&) {
      return kPltIoError;
    }
  }

  stdfs::path root_;
  FileSystem& files_;
  FolderSync folders_;  // queue folders changed within a batch, flushed when it syncs
  struct Staged {
    std::string staged, name;  // the temporary's name and the entry's
  };
  std::map<std::string, std::vector<Staged>> staged_;  // per user, in staging order
  unsigned serial_ = 0;
};

}  // namespace

std::unique_ptr<InstallAide> NewFolderInstallAide(std::filesystem::path root, FileSystem& files) {
  return std::make_unique<FolderInstallAide>(std::move(root), files);
}

}  // namespace kve
