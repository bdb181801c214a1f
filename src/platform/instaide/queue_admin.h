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
  bool hasInstallFolder = false;     // made at the next queuing when missing
  std::vector<QueuedFile> entries;   // by name, byte order
  std::vector<std::string> leftovers;  // temporaries of a copy that never finished
};

// Every HotSync user of `root`, numbered as PltGetUser numbers them; nothing when the root
// does not exist. Raises IoError naming the folder that cannot be read.
std::vector<UserQueue> ListQueues(const std::filesystem::path& root);

// Makes ROOT/<user>/Install/ (and the root). An existing user is no error. Raises ValueError
// for a name that is not one safe path component, IoError when a folder cannot be made.
void AddHotSyncUser(const std::filesystem::path& root, const std::string& user);

// Deletes every file of the user's Install folder, leftovers included, and answers how many.
// Raises ValueError for an unsafe name, Error for an unknown user, IoError when a file stays.
size_t ClearQueue(const std::filesystem::path& root, const std::string& user);

// Whether `name` is a temporary of an unfinished copy (".NAME.XXXXXX").
bool IsQueueTemporary(const std::string& name);

}  // namespace kve
