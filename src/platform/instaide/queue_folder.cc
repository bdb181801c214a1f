#include "platform/instaide/queue_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/common/ascii.h"
#include "platform/common/error.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

std::string Reason() { return std::strerror(errno); }

enum class Is { kMissing, kFolder, kLink, kOther };

Is Classify(int at, const char* name) {
  struct stat st;
  if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return Is::kMissing;
  if (S_ISLNK(st.st_mode)) return Is::kLink;
  return S_ISDIR(st.st_mode) ? Is::kFolder : Is::kOther;
}

// The folder `name` of `at`, never through a link: -1 with errno ELOOP when a link was put
// there since it was classified.
int OpenFolder(int at, const char* name) {
  return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace

QueueFolder::~QueueFolder() {
  if (fd_ >= 0) ::close(fd_);
}

QueueFolder::QueueFolder(QueueFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

QueueFolder& QueueFolder::operator=(QueueFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

QueueFolder::Open QueueFolder::Reach(const stdfs::path& root, const std::string& user, bool create) {
  *this = QueueFolder();
  Fd top(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (top.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return Open::kNoUser;
    throw IoError(root.string() + ": cannot open the HotSync root: " + Reason());
  }
  switch (Classify(top.get(), user.c_str())) {
    case Is::kLink: return Open::kLinkedUser;
    case Is::kFolder: break;
    default: return Open::kNoUser;
  }
  Fd home(OpenFolder(top.get(), user.c_str()));
  if (home.get() < 0) {
    if (errno == ELOOP || errno == ENOTDIR) return Open::kLinkedUser;
    throw IoError((root / user).string() + ": cannot open the folder: " + Reason());
  }
  const stdfs::path install = root / user / "Install";
  switch (Classify(home.get(), "Install")) {
    case Is::kLink: return Open::kLinkedInstallFolder;
    case Is::kFolder: break;
    case Is::kOther: return Open::kNoInstallFolder;
    case Is::kMissing:
      if (!create) return Open::kNoInstallFolder;
      if (::mkdirat(home.get(), "Install", 0777) != 0 && errno != EEXIST)
        throw IoError(install.string() + ": cannot make the folder: " + Reason());
      break;
  }
  Fd folder(OpenFolder(home.get(), "Install"));
  if (folder.get() < 0) {
    if (errno == ELOOP) return Open::kLinkedInstallFolder;
    if (errno == ENOTDIR || errno == ENOENT) return Open::kNoInstallFolder;
    throw IoError(install.string() + ": cannot open the folder: " + Reason());
  }
  fd_ = folder.release();
  path_ = install;
  return Open::kOpened;
}

std::vector<QueueFolder::Entry> QueueFolder::List() const {
  std::vector<Entry> entries;
  const int copy = ::dup(fd_);
  DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
  if (dir == nullptr) {
    if (copy >= 0) ::close(copy);
    throw IoError(path_.string() + ": cannot list the folder: " + Reason());
  }
  ::rewinddir(dir);
  errno = 0;
  while (const dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    Entry e{name, Kind::kOther, 0};
    struct stat st;
    if (::fstatat(fd_, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(st.st_mode)) e.kind = Kind::kLink;
      else if (S_ISDIR(st.st_mode)) e.kind = Kind::kFolder;
      else if (S_ISREG(st.st_mode)) e.kind = Kind::kFile, e.bytes = static_cast<std::uintmax_t>(st.st_size);
    } else if (errno == ENOENT) {
      errno = 0;
      continue;  // gone since it was listed
    }
    entries.push_back(std::move(e));
    errno = 0;
  }
  const int failed = errno;
  ::closedir(dir);
  if (failed != 0) throw IoError(path_.string() + ": cannot list the folder: " + std::strerror(failed));
  return entries;
}

bool QueueFolder::Remove(const std::string& name) const {
  if (::unlinkat(fd_, name.c_str(), 0) == 0) return true;
  if (errno == ENOENT) return false;
  throw IoError((path_ / name).string() + ": cannot delete: " + Reason());
}

void QueueFolder::Rename(const std::string& from, const std::string& to) const {
  if (::renameat(fd_, from.c_str(), fd_, to.c_str()) != 0)
    throw IoError((path_ / to).string() + ": cannot put " + from + " in place: " + Reason());
}

bool QueueFolder::StatFile(const std::string& name, std::uintmax_t& bytes, std::uint64_t identity[3]) const {
  struct stat st;
  if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return false;
  bytes = static_cast<std::uintmax_t>(st.st_size);
  identity[0] = static_cast<std::uint64_t>(st.st_dev);
  identity[1] = static_cast<std::uint64_t>(st.st_ino);
  identity[2] = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u + static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
  return true;
}

void QueueFolder::Sync() const {
  if (::fsync(fd_) != 0) throw IoError(path_.string() + ": cannot sync the folder: " + Reason());
}

std::string_view QueueFolderText(QueueFolder::Open result) {
  switch (result) {
    case QueueFolder::Open::kOpened: return "open";
    case QueueFolder::Open::kNoUser: return "no such HotSync user";
    case QueueFolder::Open::kNoInstallFolder: return "the user has no Install folder";
    case QueueFolder::Open::kLinkedUser:
      return "the user folder is a symbolic link, which the queue never follows";
    case QueueFolder::Open::kLinkedInstallFolder:
      return "the Install folder is a symbolic link, which the queue never follows";
  }
  return "unknown";
}

bool IsHotSyncInstallKind(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string_view ext = name.substr(dot);
  return EqualsIgnoreCase(ext, ".pdb") || EqualsIgnoreCase(ext, ".prc") || EqualsIgnoreCase(ext, ".pqa");
}

}  // namespace kve
