#include "platform/instaide/queue_admin.h"

#include <algorithm>

#include "platform/common/error.h"
#include "platform/instaide/install_aide.h"
#include "platform/instaide/queue_folder.h"

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
  std::error_code ec;
  if (!stdfs::is_directory(root, ec)) throw IoError(root.string() + ": no such folder (the HotSync root)");
  std::vector<UserQueue> users;
  for (stdfs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code sec;
    const stdfs::file_type type = it->symlink_status(sec).type();
    if (!IsSafeHotSyncUserName(name) ||
        (type != stdfs::file_type::directory && type != stdfs::file_type::symlink))
      continue;
    if (type == stdfs::file_type::symlink && !it->is_directory(sec)) continue;
    UserQueue q;
    q.user = name;
    QueueFolder folder;
    const QueueFolder::Open open = folder.Reach(root, name, false);
    if (open == QueueFolder::Open::kLinkedUser || open == QueueFolder::Open::kLinkedInstallFolder)
      q.refused = QueueFolderText(open);
    q.hasInstallFolder = folder.IsOpen();
    if (q.hasInstallFolder) {
      for (QueueFolder::Entry& e : folder.List()) {
        if (e.kind != QueueFolder::Kind::kFile) {
          q.others.push_back(std::move(e.name));
        } else if (IsQueueTemporary(e.name)) {
          q.leftovers.push_back(std::move(e.name));
        } else {
          q.entries.push_back({std::move(e.name), e.bytes});
        }
      }
      std::sort(q.entries.begin(), q.entries.end(),
                [](const QueuedFile& a, const QueuedFile& b) { return a.name < b.name; });
      std::sort(q.leftovers.begin(), q.leftovers.end());
      std::sort(q.others.begin(), q.others.end());
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
  stdfs::create_directories(root, ec);
  stdfs::create_directory(root / user, ec);
  QueueFolder folder;
  const QueueFolder::Open open = folder.Reach(root, user, true);
  if (open != QueueFolder::Open::kOpened)
    throw IoError((root / user / "Install").string() + ": cannot make the folder: " +
                  (ec ? ec.message() : std::string(QueueFolderText(open))));
}

ClearedQueue ClearQueue(const stdfs::path& root, const std::string& user) {
  NeedSafe(user);
  QueueFolder folder;
  const QueueFolder::Open open = folder.Reach(root, user, false);
  if (open == QueueFolder::Open::kNoUser)
    throw Error("'" + user + "': no such HotSync user under " + root.string());
  if (open != QueueFolder::Open::kOpened && open != QueueFolder::Open::kNoInstallFolder)
    throw Error("'" + user + "': " + std::string(QueueFolderText(open)) + "; nothing was deleted");
  ClearedQueue cleared;
  if (!folder.IsOpen()) return cleared;
  for (const QueueFolder::Entry& e : folder.List()) {
    const bool entry = e.kind == QueueFolder::Kind::kFile &&
                       (IsQueueTemporary(e.name) || IsHotSyncInstallKind(e.name));
    if (!entry) {
      cleared.kept.push_back(e.name);
    } else if (folder.Remove(e.name)) {
      ++cleared.removed;
    }
  }
  std::sort(cleared.kept.begin(), cleared.kept.end());
  return cleared;
}

}  // namespace kve
