#pragma once
// A HotSync user's Install folder, reached from the queue's root one name at a time without
// following a symbolic link. The root itself may be a link (where the administrator put the
// queue); below it, a user folder or an Install folder that is a link is refused, so that
// nothing planted in the queue sends a write or a delete into another folder.
//
// Listing and removing go through the folder as it was opened, so a link swapped in later
// changes nothing. Writers that write by path (the atomic sink) check the folder just before
// writing; a link swapped in between that check and the write is a race someone must run on
// purpose, and the worst it does is place a queue entry elsewhere, never delete anything.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kve {

class QueueFolder {
 public:
  enum class Open { kOpened, kNoUser, kNoInstallFolder, kLinkedUser, kLinkedInstallFolder };
  enum class Kind { kFile, kFolder, kLink, kOther };
  struct Entry {
    std::string name;
    Kind kind = Kind::kOther;
    std::uintmax_t bytes = 0;  // of a file
  };

  QueueFolder() = default;
  ~QueueFolder();
  QueueFolder(QueueFolder&& other) noexcept;
  QueueFolder& operator=(QueueFolder&& other) noexcept;

  // Opens root/user/Install; with `create`, makes a missing Install folder of an existing
  // user. Anything but kOpened leaves this closed. IoError when the root cannot be opened or
  // the folder cannot be made.
  Open Reach(const std::filesystem::path& root, const std::string& user, bool create);

  bool IsOpen() const { return fd_ >= 0; }
  const std::filesystem::path& Path() const { return path_; }

  // Every entry but "." and "..", links reported as links; IoError when it cannot be read.
  std::vector<Entry> List() const;

  // Removes the entry `name` itself (a link, never what it points at); false when there was
  // none. IoError naming the entry when it stays.
  bool Remove(const std::string& name) const;

  // Renames the entry `from` to `to` within the folder, replacing an entry `to`; IoError
  // naming both when it fails.
  void Rename(const std::string& from, const std::string& to) const;

  // The file `name` itself (never what a link points at): its size and what identifies this
  // copy of it (device, file number, modification time in ns). False when there is no file
  // of that name.
  bool StatFile(const std::string& name, std::uintmax_t& bytes, std::uint64_t identity[3]) const;

  // Flushes the folder's names to the disk; IoError when it fails.
  void Sync() const;

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

// What a refusal of Reach means, for messages: "the user folder is a symbolic link".
std::string_view QueueFolderText(QueueFolder::Open result);

// Whether a HotSync installs files of this name's kind on a handheld: a Palm database, an
// application or a web clipping (".pdb", ".prc", ".pqa", letter case aside).
bool IsHotSyncInstallKind(std::string_view name);

}  // namespace kve
