#include "support/error_fs.h"

#include <cerrno>

#include "platform/common/error.h"

namespace kve {

void ErrorFileSystem::RequireWritable(std::string_view path, std::string_view action) const {
  if (readOnly_) ThrowIoError(path, action, EROFS);
}

void ErrorFileSystem::Spend(std::string_view path, uint64_t bytes) {
  RequireWritable(path, "write");
  if (budget_ && bytes > *budget_) {
    *budget_ = 0;
    ThrowIoError(path, "write", ENOSPC);
  }
  if (budget_) *budget_ -= bytes;
  written_ += bytes;
  if (depth_ == 0) ++unbatched_;
}

void ErrorFileSystem::CreateDir(std::string_view path) {
  if (!base_.DirectoryExists(path)) RequireWritable(path, "create the folder");
  if (failCreateDir_ && !base_.DirectoryExists(path)) ThrowIoError(path, "create the folder", EACCES);
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

bool ErrorFileSystem::DeleteFile(std::string_view path) {
  if (base_.FileExists(path)) RequireWritable(path, "delete");
  return base_.DeleteFile(path);
}

void ErrorFileSystem::RenameFile(std::string_view from, std::string_view to) {
  RequireWritable(to, "replace");
  if (renames_) {
    if (*renames_ == 0) ThrowIoError(to, "replace", EHOSTDOWN);
    --*renames_;
  }
  if (depth_ == 0) ++unbatched_;
  base_.RenameFile(from, to);
}

}  // namespace kve
