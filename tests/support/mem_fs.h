#pragma once
// The in-memory file system double.

#include <memory>

#include "platform/fs/file_system.h"

namespace kve {

// A file system held in memory: drive roots always exist, a share exists once created with
// CreateDir("\\HOST\SHARE").
std::unique_ptr<FileSystem> NewMemFileSystem();

}  // namespace kve
