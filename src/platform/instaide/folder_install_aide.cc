// The install queue kept in folders: ROOT/<user>/Install/<file>.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

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

  // Writes the entry through the atomic sink, so a HotSync never finds part of a file and a
  // crash leaves the old entry.
  int Place(const stdfs::path& dir, const std::string& name, const stdfs::path* source,
            const std::string& bytes) {
    try {
      WriteFileAtomically(dir / name, source ? ReadWholeFile(*source) : bytes, {}, folders_.Open());
      return kPltOk;
    } catch (const Error&) {
      return kPltIoError;
    }
  }

  stdfs::path root_;
  FileSystem& files_;
  FolderSync folders_;  // queue folders changed within a batch, flushed when it syncs
};

}  // namespace

std::unique_ptr<InstallAide> NewFolderInstallAide(std::filesystem::path root, FileSystem& files) {
  return std::make_unique<FolderInstallAide>(std::move(root), files);
}

}  // namespace kve
