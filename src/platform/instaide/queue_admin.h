#pragma once
// Looking after the install queue by hand, for support staff (kve-hotsync): what each user
// has queued, adding a HotSync user, clearing a user's queue. Queuing and removing single
// files go through the InstallAide like the screen's calls, so the tool and the screen can
// never disagree about names or paths.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kve {

struct QueuedFile {
  std::string name;
  std::uintmax_t bytes = 0;
};

struct UserQueue {
  std::string user;                  // the folder's name, whole
  // Why the queue does not use this folder ("the user folder is a symbolic link, ..."); empty
  // for a user the screen sees. Such a folder is listed but not numbered.
  std::string refused;
  bool hasInstallFolder = false;     // made at the next queuing when missing
  std::vector<QueuedFile> entries;   // by name, byte order
  std::vector<std::string> leftovers;  // temporaries of a copy that never finished
  std::vector<std::string> others;     // no queue entries: links and folders in the queue
};

// Every folder of `root` with a user's name, in byte order: the users first numbered as
// PltGetUser numbers them when those refused are skipped. Raises IoError when the root does
// not exist or a folder cannot be read.
std::vector<UserQueue> ListQueues(const std::filesystem::path& root);

// Makes ROOT/<user>/Install/ (and the root). An existing user is no error. Raises ValueError
// for a name that is not one safe path component, IoError when a folder cannot be made or is
// a symbolic link.
void AddHotSyncUser(const std::filesystem::path& root, const std::string& user);

struct ClearedQueue {
  size_t removed = 0;              // queue entries and leftovers deleted
  std::vector<std::string> kept;   // what is no queue entry, left where it is, by name
};

// Deletes the user's queue entries (files of the kinds a HotSync installs) and the leftovers
// of unfinished copies; anything else in the folder is kept and named. Never follows a
// symbolic link below the root. Raises ValueError for an unsafe name, Error for an unknown
// user or a linked user or Install folder, IoError when an entry stays.
ClearedQueue ClearQueue(const std::filesystem::path& root, const std::string& user);

// Whether `name` is a temporary of an unfinished copy (".NAME.XXXXXX").
bool IsQueueTemporary(const std::string& name);

}  // namespace kve
