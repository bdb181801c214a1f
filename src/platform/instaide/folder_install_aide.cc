// The install queue kept in folders: ROOT/<user>/Install/<file>.

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
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


// A HotSync user's Install folder, wherever the queue lives.
class QueueDir {
 public:
  virtual ~QueueDir() = default;
  virtual std::vector<QueueFolder::Entry> List() = 0;
  virtual bool Remove(const std::string& name) = 0;  // false when there was none
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  virtual bool StatFile(const std::string& name, std::uintmax_t& bytes, std::uint64_t identity[3]) = 0;
  // Writes the file whole: a HotSync never finds part of it, a crash leaves the old one.
  virtual void Write(const std::string& name, std::string_view bytes, FolderSync* later) = 0;
  // The folder's names on the disk now, or with `later`'s sync.
  virtual void Sync(FolderSync* later) = 0;
};

// Where the users' folders are.
class QueueRoot {
 public:
  virtual ~QueueRoot() = default;
  // The users' folder names (safe ones only), in no particular order; none without a root.
  virtual std::vector<std::string> Users() = 0;
  // The user's Install folder, made when missing with `create`; `dir` is set when kOpened.
  virtual QueueFolder::Open Reach(const std::string& user, bool create, std::unique_ptr<QueueDir>& dir) = 0;
};

// A queue in a folder of this host, reached through descriptors that never follow a link
// below the root.
class HostQueueDir final : public QueueDir {
 public:
  explicit HostQueueDir(QueueFolder folder) : folder_(std::move(folder)) {}
  std::vector<QueueFolder::Entry> List() override { return folder_.List(); }
  bool Remove(const std::string& name) override { return folder_.Remove(name); }
  void Rename(const std::string& from, const std::string& to) override { folder_.Rename(from, to); }
  bool StatFile(const std::string& name, std::uintmax_t& bytes, std::uint64_t identity[3]) override {
    return folder_.StatFile(name, bytes, identity);
  }
  void Write(const std::string& name, std::string_view bytes, FolderSync* later) override {
    // By path, through the atomic sink; the folder was reached (links refused) just before.
    NewHostFileSystem(later)->WriteFile((folder_.Path() / name).string(), bytes);
  }
  void Sync(FolderSync* later) override {
    if (later) {
      later->Add(folder_.Path(), folder_.Path().string());
    } else {
      folder_.Sync();
    }
  }

 private:
  QueueFolder folder_;
};

class HostQueueRoot final : public QueueRoot {
 public:
  explicit HostQueueRoot(stdfs::path root) : root_(std::move(root)) {}
  // A user folder that is a symbolic link is no user: the queue never follows one.
  std::vector<std::string> Users() override {
    std::vector<std::string> users;
    std::error_code ec;
    for (stdfs::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
      std::string n = it->path().filename().string();
      std::error_code sec;
      if (IsSafeHotSyncUserName(n) && it->symlink_status(sec).type() == stdfs::file_type::directory)
        users.push_back(std::move(n));
    }
    return users;
  }
  QueueFolder::Open Reach(const std::string& user, bool create, std::unique_ptr<QueueDir>& dir) override {
    QueueFolder folder;
    const QueueFolder::Open open = folder.Reach(root_, user, create);
    if (open == QueueFolder::Open::kOpened) dir = std::make_unique<HostQueueDir>(std::move(folder));
    return open;
  }

 private:
  stdfs::path root_;
};

// A queue in a folder reached through a file system by Windows-form path: a Windows PC's
// share ("\\PC\Palm") for its Palm Desktop. The server resolves links on its own disk, as
// it does for every client, so there is no link to refuse here; names it lists that are no
// plain names never become paths (the file system drops them).
class ShareQueueDir final : public QueueDir {
 public:
  ShareQueueDir(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  std::vector<QueueFolder::Entry> List() override {
    std::vector<QueueFolder::Entry> out;
    for (FolderEntry& e : fs_.ListEntries(path_)) {
      QueueFolder::Kind kind = e.kind == FolderEntry::Kind::kFile     ? QueueFolder::Kind::kFile
                               : e.kind == FolderEntry::Kind::kFolder ? QueueFolder::Kind::kFolder
                               : e.kind == FolderEntry::Kind::kLink   ? QueueFolder::Kind::kLink
                                                                      : QueueFolder::Kind::kOther;
      out.push_back({std::move(e.name), kind, e.bytes});
    }
    return out;
  }
  bool Remove(const std::string& name) override { return fs_.DeleteFile(At(name)); }
  // A server that matches names without regard to case gives the renamed file the spelling
  // of the entry it replaces; that entry goes first, so the new one has its own spelling. A
  // rename over a file is a deletion and a rename on a share anyway.
  void Rename(const std::string& from, const std::string& to) override {
    for (const FolderEntry& e : fs_.ListEntries(path_))
      if (e.kind == FolderEntry::Kind::kFile && e.name != to && e.name != from && EqualsIgnoreCase(e.name, to))
        fs_.DeleteFile(At(e.name));
    fs_.RenameFile(At(from), At(to));
  }
  bool StatFile(const std::string& name, std::uintmax_t& bytes, std::uint64_t identity[3]) override {
    for (const FolderEntry& e : fs_.ListEntries(path_)) {
      if (e.name != name || e.kind != FolderEntry::Kind::kFile) continue;
      bytes = e.bytes;
      std::copy(std::begin(e.identity), std::end(e.identity), identity);
      return true;
    }
    return false;
  }
  void Write(const std::string& name, std::string_view bytes, FolderSync*) override { fs_.WriteFile(At(name), bytes); }
  void Sync(FolderSync*) override {}  // the file system's writes are durable when they return

 private:
  std::string At(const std::string& name) const { return path_ + "\\" + name; }
  FileSystem& fs_;
  std::string path_;
};

class ShareQueueRoot final : public QueueRoot {
 public:
  ShareQueueRoot(FileSystem& fs, std::string root) : fs_(fs), root_(std::move(root)) {
    while (!root_.empty() && (root_.back() == '\\' || root_.back() == '/')) root_.pop_back();
  }
  std::vector<std::string> Users() override {
    std::vector<std::string> users;
    try {
      for (FolderEntry& e : fs_.ListEntries(root_))
        if (e.kind == FolderEntry::Kind::kFolder && IsSafeHotSyncUserName(e.name)) users.push_back(std::move(e.name));
    } catch (const IoError&) {
      // a root that cannot be reached has no users, as a missing folder
    }
    return users;
  }
  QueueFolder::Open Reach(const std::string& user, bool create, std::unique_ptr<QueueDir>& dir) override {
    const std::string home = root_ + "\\" + user;
    if (!fs_.DirectoryExists(home)) return QueueFolder::Open::kNoUser;
    const std::string install = home + "\\Install";
    if (!fs_.DirectoryExists(install)) {
      if (!create || fs_.FileExists(install)) return QueueFolder::Open::kNoInstallFolder;
      fs_.CreateDir(install);
    }
    dir = std::make_unique<ShareQueueDir>(fs_, install);
    return QueueFolder::Open::kOpened;
  }

 private:
  FileSystem& fs_;
  std::string root_;
};

class FolderInstallAide final : public InstallAide {
 public:
  FolderInstallAide(std::unique_ptr<QueueRoot> root, FileSystem& files, std::unique_ptr<FileSystem> own = {})
      : own_(std::move(own)), root_(std::move(root)), files_(files) {}

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
      std::unique_ptr<QueueDir> folder;
      if (int r = Reach(user, false, folder); r != kPltOk) return r;
      std::string bytes;
      if (int r = ReadSource(path, name, bytes); r != kPltOk) return r;
      // Reached again just before the write, making a missing Install folder, so that a link
      // put in place meanwhile is seen.
      if (int r = Reach(user, true, folder); r != kPltOk) return r;
      folder->Write(name, bytes, folders_.Open());
      return DeleteEntries(*folder, name, name);
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
      std::unique_ptr<QueueDir> folder;
      if (int r = Reach(user, false, folder); r != kPltOk) return r;
      std::string content;
      if (int r = ReadSource(path, name, content); r != kPltOk) return r;
      if (int r = Reach(user, true, folder); r != kPltOk) return r;
      // A temporary's name of this process: a run killed before its commit leaves it as
      // any unfinished copy, for the next queue change to remove.
      const std::string staged = fmt::format(".{}.staged.tmp-{}-{}", name, ::getpid(), serial_++);
      try {
        folder->Write(staged, content, folders_.Open());
      } catch (const Error&) {
        return kPltIoError;
      }
      std::uintmax_t size = 0;
      std::uint64_t identity[3];
      if (!folder->StatFile(staged, size, identity) || size != content.size()) {
        folder->Remove(staged);
        return kPltIoError;
      }
      std::vector<Staged>& list = staged_[user];
      for (auto it = list.begin(); it != list.end(); ++it) {
        if (!EqualsIgnoreCase(it->name, name)) continue;
        folder->Remove(it->staged);  // staged twice: the later copy counts
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
      std::unique_ptr<QueueDir> folder;
      if (int r = Reach(user, false, folder); r != kPltOk) return r;
      if (!folder) return kPltIoError;  // the folder went away with what was staged
      int result = kPltOk;
      size_t placed = 0;
      for (; placed < list.size(); ++placed) {
        try {
          folder->Rename(list[placed].staged, list[placed].name);
        } catch (const IoError&) {
          result = kPltIoError;
          break;
        }
      }
      // Entries spelled in another letter case are the same entries to a HotSync.
      for (size_t i = 0; i < placed; ++i)
        if (DeleteEntries(*folder, list[i].name, list[i].name) != kPltOk) result = kPltIoError;
      list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(placed));
      folder->Sync(folders_.Open());
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
      std::unique_ptr<QueueDir> folder;
      if (int r = Reach(user, false, folder); r != kPltOk) return r;
      if (folder) {
        for (const Staged& s : it->second) {
          try {
            folder->Remove(s.staged);
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
      std::unique_ptr<QueueDir> folder;
      if (int r = Reach(user, false, folder); r != kPltOk) return r;
      if (!folder) return kPltNoSuchFile;
      // The name as typed first, then any spelling of it.
      std::vector<std::string> candidates{name};
      for (const QueueFolder::Entry& e : folder->List())
        if (e.kind == QueueFolder::Kind::kFile && e.name != name && EqualsIgnoreCase(e.name, name))
          candidates.push_back(e.name);
      for (const std::string& c : candidates) {
        std::uintmax_t bytes = 0;
        if (folder->StatFile(c, bytes, info->identity)) {
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
      std::unique_ptr<QueueDir> folder;
      if (int r = Reach(user, false, folder); r != kPltOk || !folder) return r;
      return DeleteEntries(*folder, name, "");
    } catch (const std::exception&) {
      return kPltIoError;
    }
  }

 private:
  // Users in byte order of their names; a root that does not exist has none.
  std::vector<std::string> Users() const {
    std::vector<std::string> users = root_->Users();
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
  // Install folder answers kPltOk with `folder` empty: it holds nothing to remove.
  int Reach(const char* user, bool create, std::unique_ptr<QueueDir>& folder) const {
    folder.reset();
    switch (root_->Reach(user, create, folder)) {
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
  // When `keep` is not there under its own spelling (the store chose another one), no
  // spelling of it is deleted: one of them is the copy just put in place.
  static int DeleteEntries(QueueDir& folder, const std::string& name, const std::string& keep) {
    int result = kPltOk;
    const std::vector<QueueFolder::Entry> entries = folder.List();
    const bool kept = keep.empty() || std::any_of(entries.begin(), entries.end(), [&](const QueueFolder::Entry& e) {
                        return e.name == keep && e.kind == QueueFolder::Kind::kFile;
                      });
    for (const QueueFolder::Entry& e : entries) {
      if (e.kind == QueueFolder::Kind::kFile && IsLeftoverOfEndedRun(e.name)) {
        try {
          folder.Remove(e.name);
        } catch (const IoError&) {
          // left for the next run
        }
        continue;
      }
      if (e.name == keep || !kept || e.kind == QueueFolder::Kind::kFolder || !EqualsIgnoreCase(e.name, name))
        continue;
      try {
        folder.Remove(e.name);
      } catch (const IoError&) {
        result = kPltIoError;
      }
    }
    return result;
  }

  // The bytes of the file at `path` and, where the file system tells it, its own name as
  // found, whatever case the path was typed in; kPltNoSuchFile when there is no such file.
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

  std::unique_ptr<FileSystem> own_;  // the queue's file system, when it is the aide's alone
  std::unique_ptr<QueueRoot> root_;
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
  return std::make_unique<FolderInstallAide>(std::make_unique<HostQueueRoot>(std::move(root)), files);
}

std::unique_ptr<InstallAide> NewShareInstallAide(std::string root, FileSystem& queue, FileSystem& files,
                                                 std::unique_ptr<FileSystem> own) {
  return std::make_unique<FolderInstallAide>(std::make_unique<ShareQueueRoot>(queue, std::move(root)), files,
                                             std::move(own));
}

std::optional<std::string> ShareQueueRootOf(std::string_view root) {
  constexpr std::string_view kScheme = "smb://";
  if (!root.starts_with(kScheme)) return std::nullopt;  // as the configuration reads it
  std::string rest(root.substr(kScheme.size()));
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  const size_t slash = rest.find('/');
  if (slash == 0 || slash == std::string::npos || slash + 1 == rest.size())
    throw ValueError("\"" + std::string(root) + "\": expected smb://HOST/SHARE or smb://HOST/SHARE/FOLDER");
  std::replace(rest.begin(), rest.end(), '/', '\\');
  return "\\\\" + rest;
}

}  // namespace kve
