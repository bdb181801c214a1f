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
};

// The queue on disk: `root`/<user>/Install/, one folder per user named exactly as the user,
// users numbered in byte order of their names. Queued files are read through `files`, which
// must outlive the aide. A user whose folder does not exist is not created: queuing for it
// answers kPltNoSuchUser. The Install folder of an existing user is created when missing.
std::unique_ptr<InstallAide> NewFolderInstallAide(std::filesystem::path root, FileSystem& files);

// Whether `name` can be a HotSync user's folder: one path component of at most 255 bytes, not
// empty, not "." or "..", without '/', '\' or a control character.
bool IsSafeHotSyncUserName(std::string_view name);

}  // namespace kve
