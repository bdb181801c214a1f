#include "platform/fs/error_fs.h"

#include "platform/common/error.h"

namespace kve {

void ErrorFileSystem::Spend(std::string_view path, uint64_t bytes) {
  if (budget_ && bytes > *budget_) {
    *budget_ = 0;
    throw IoError(std::string(path) + ": cannot write: No space left on device");
  }
  if (budget_) *budget_ -= bytes;
  written_ += bytes;
}

void ErrorFileSystem::CreateDir(std::string_view path) {
  if (failCreateDir_ && !base_.DirectoryExists(path)) {
    throw IoError(std::string(path) + ": cannot create the folder: Permission denied");
  }
  base_.CreateDir(path);
}

void ErrorFileSystem::WriteFile(std::string_view path, std::string_view data) {
  Spend(path, data.size());
  base_.WriteFile(path, data);
}

void ErrorFileSystem::CopyFile(std::string_view from, std::string_view to) {
  Spend(to, base_.ReadFile(from).size());
  base_.CopyFile(from, to);
}

void ErrorFileSystem::RenameFile(std::string_view from, std::string_view to) {
  if (renames_) {
    if (*renames_ == 0) throw IoError(std::string(to) + ": cannot replace: Host is down");
    --*renames_;
  }
  base_.RenameFile(from, to);
}

}  // namespace kve
