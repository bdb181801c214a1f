#include "platform/instaide/queue_admin.h"

#include <algorithm>

#include "platform/common/error.h"
#include "platform/instaide/install_aide.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

void NeedSafe(const std::string& user) {
  if (!IsSafeHotSyncUserName(user))
    throw ValueError("'" + user + "': not a HotSync user name (one folder name, no '/', '\\', "
                     "control characters, '.' or '..')");
}

}  // namespace

bool IsQueueTemporary(const std::string& name) { return !name.empty() && name[0] == '.'; }

std::vector<UserQueue> ListQueues(const stdfs::path& root) {
  std::vector<UserQueue> users;
  std::error_code ec;
  if (!stdfs::is_directory(root, ec)) return users;
  for (stdfs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!IsSafeHotSyncUserName(name) || !it->is_directory()) continue;
    UserQueue q;
    q.user = name;
    const stdfs::path install = it->path() / "Install";
    q.hasInstallFolder = stdfs::is_directory(install);
    if (q.hasInstallFolder) {
      std::error_code lec;
      for (stdfs::directory_iterator f(install, lec), fend; !lec && f != fend; f.increment(lec)) {
        const std::string file = f->path().filename().string();
        if (IsQueueTemporary(file)) {
          q.leftovers.push_back(file);
        } else if (f->is_regular_file()) {
          q.entries.push_back({file, f->file_size()});
        }
      }
      if (lec) throw IoError(install.string() + ": cannot list the folder: " + lec.message());
      std::sort(q.entries.begin(), q.entries.end(),
                [](const QueuedFile& a, const QueuedFile& b) { return a.name < b.name; });
      std::sort(q.leftovers.begin(), q.leftovers.end());
    }
    users.push_back(std::move(q));
  }
  if (ec) throw IoError(root.string() + ": cannot list the folder: " + ec.message());
  std::sort(users.begin(), users.end(),
            [](const UserQueue& a, const UserQueue& b) { return a.user < b.user; });
  return users;
}

void AddHotSyncUser(const stdfs::path& root, const std::string& user) {
  NeedSafe(user);
  std::error_code ec;
  const stdfs::path install = root / user / "Install";
  stdfs::create_directories(install, ec);
  if (!stdfs::is_directory(install))
    throw IoError(install.string() + ": cannot make the folder: " + ec.message());
}

size_t ClearQueue(const stdfs::path& root, const std::string& user) {
  NeedSafe(user);
  if (!stdfs::is_directory(root / user)) throw Error("'" + user + "': no such HotSync user under " + root.string());
  const stdfs::path install = root / user / "Install";
  size_t removed = 0;
  std::error_code ec;
  for (stdfs::directory_iterator it(install, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory()) continue;
    std::error_code rec;
    if (!stdfs::remove(it->path(), rec) || rec)
      throw IoError(it->path().string() + ": cannot delete: " + rec.message());
    ++removed;
  }
  if (ec && ec != std::errc::no_such_file_or_directory)
    throw IoError(install.string() + ": cannot list the folder: " + ec.message());
  return removed;
}

}  // namespace kve
