#pragma once
// The Install Aide: the HotSync install queue of each HotSync user on this PC. A file queued
// for a user reaches that user's handheld at its next HotSync.
//
// The four Plt functions keep the library's shape: 8-bit NUL-terminated texts, an integer
// result. The screen examines none of the results; callers that care (the support tool, the
// log) compare them with the PltResult codes below.
//
// Not thread-safe; the screen runs on one thread.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fs/file_sink.h"

namespace kve {

class FileSystem;

// Result codes of the Plt functions.
enum PltResult : int {
  kPltOk = 0,
  kPltNoSuchUser = -1,    // no user with that index, or no folder for that user name
  kPltBadUserName = -2,   // the name is not one safe path component; nothing was touched
  kPltNoSuchFile = -3,    // the file to queue does not exist (or cannot be reached)
  kPltBadFileName = -4,   // the path names no file ("", ends with a separator, "..")
  kPltIoError = -5,       // the queue folder refused a write, a rename or a delete
  kPltBufferTooSmall = -6,  // PltGetUser: the name was cut to the given size
};

// "no such user", for logs and the support tool.
std::string_view PltResultText(int result);

// The longest HotSync user name, in characters. Names travel as UTF-8, where a character
// takes up to 4 bytes, so a name buffer holds 31 of the longest and a NUL.
inline constexpr int kHotSyncNameMax = 31;
inline constexpr int kHotSyncNameBuffer = 4 * kHotSyncNameMax + 1;

// The bytes of `name` up to its 32nd character: the part of a name the Plt functions hand out.
std::string_view HotSyncNamePrefix(std::string_view name);

// Its queue copies are whole and on the disk when PltInstallFile returns; within a FolderBatch
// on the aide, each queue folder's flush (the copy's name) waits for the batch's Sync.
class InstallAide : public FolderBatching {
 public:
  InstallAide() = default;
  virtual ~InstallAide() = default;
  InstallAide(const InstallAide&) = delete;
  InstallAide& operator=(const InstallAide&) = delete;

  // Number of HotSync users; they are numbered from 0. 0 when there are none.
  virtual int PltGetUserCount() = 0;

  // Reads the name of user `index` into `name`. `*size` is the buffer's size in bytes on
  // entry; the library writes at most that many bytes, always NUL-terminated when *size > 0,
  // and sets *size to the size the name needs, cut to 31 characters (never more than
  // kHotSyncNameBuffer).
  // A name that does not fit is cut on a character boundary and kPltBufferTooSmall returned,
  // so a caller that starts with *size 0 and calls again with the size it was given reads the
  // whole name the second time.
  virtual int PltGetUser(unsigned int index, char* name, std::int16_t* size) = 0;

  // Puts the file at `path` (a Windows-form path, as the screen builds it) into `user`'s
  // queue under the file's own name, replacing an entry of that name. The queue never holds
  // part of a file: it is copied under a temporary name and renamed. Names match without
  // regard to letter case, as Windows file names do.
  virtual int PltInstallFile(const char* user, const char* path) = 0;

  // Takes the entry named like the file at `path` (letter case aside) out of `user`'s queue.
  // Removing a file that is not queued succeeds.
  virtual int PltRemoveInstallFile(const char* user, const char* path) = 0;

  // Calls of our own beside the four, in the same shape, so that an export replaces the
  // earlier one in the queue in one step rather than entry by entry.
  //
  // PltStageInstallFile copies the file at `path` into `user`'s Install folder under a
  // temporary name beginning with '.', which a HotSync never installs, and sets `*bytes` to
  // the bytes copied. Nothing a HotSync would take changes until PltCommitStaged.
  virtual int PltStageInstallFile(const char* user, const char* path, std::uint64_t* bytes) = 0;
  // Puts every entry staged for `user` in place under its own name, each by one rename over
  // the entry it replaces (letter case aside), and flushes the folder (or leaves the flush to
  // the open folder batch). A process killed within the renames leaves some entries new and
  // the rest as they were, each whole. A failed rename answers kPltIoError; the entries
  // already renamed stay, the rest stay staged until PltDiscardStaged.
  virtual int PltCommitStaged(const char* user) = 0;
  // Removes what is staged for `user` and not yet put in place. A killed run's staged copies
  // are removed by the next queue change, as every unfinished copy is.
  virtual int PltDiscardStaged(const char* user) = 0;
  // What `user`'s queue holds under the name of the file at `path` (letter case aside): its
  // size and an identity that changes whenever the entry is replaced. kPltNoSuchFile when the
  // queue holds no such entry.
  struct PltEntryInfo {
    std::uint64_t bytes = 0;
    std::uint64_t identity[3] = {};  // device, file number, modification time in ns
  };
  virtual int PltGetInstallFileInfo(const char* user, const char* path, PltEntryInfo* info) = 0;
};

inline bool operator==(const InstallAide::PltEntryInfo& a, const InstallAide::PltEntryInfo& b) {
  return a.bytes == b.bytes && a.identity[0] == b.identity[0] && a.identity[1] == b.identity[1] &&
         a.identity[2] == b.identity[2];
}

// The queue on disk: `root`/<user>/Install/, one folder per user named exactly as the user,
// users numbered in byte order of their names. Queued files are read through `files`, which
// must outlive the aide. A user whose folder does not exist is not created: queuing for it
// answers kPltNoSuchUser. The Install folder of an existing user is created when missing.
std::unique_ptr<InstallAide> NewFolderInstallAide(std::filesystem::path root, FileSystem& files);

// The same queue in a folder reached through `queue` by Windows-form path: a Windows PC's
// share ("\\PC\Palm"), for a workstation that prepares Palm exports for that PC's Palm
// Desktop. Links on the server's disk are the server's to resolve; a root that cannot be
// reached has no users. Queue changes are durable when they return (the server's). `queue`
// must outlive the aide unless it is `own`, which the aide keeps.
std::unique_ptr<InstallAide> NewShareInstallAide(std::string root, FileSystem& queue, FileSystem& files,
                                                 std::unique_ptr<FileSystem> own = {});

// The Windows-form share path of a HotSync root given as "smb://HOST/SHARE[/FOLDER]"
// ("\\HOST\SHARE\FOLDER"); nothing for a root that is a host folder. ValueError naming the
// root when it names no share.
std::optional<std::string> ShareQueueRootOf(std::string_view root);

// Whether `name` can be a HotSync user's folder: one path component of at most 255 bytes, not
// empty, not "." or "..", without '/', '\' or a control character.
bool IsSafeHotSyncUserName(std::string_view name);

}  // namespace kve
