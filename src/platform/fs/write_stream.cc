// The in-memory WriteStream of file systems that replace a file only whole.

#include <algorithm>

#include "platform/common/error.h"
#include "platform/fs/file_system.h"

namespace kve {

void BufferedWriteStream::WriteAt(uint64_t offset, std::string_view bytes) {
  if (offset + bytes.size() > data_.size()) data_.resize(offset + bytes.size());
  data_.replace(offset, bytes.size(), bytes);
}

std::string BufferedWriteStream::ReadAt(uint64_t offset, size_t n) {
  if (offset >= data_.size()) return {};
  return data_.substr(offset, std::min<uint64_t>(n, data_.size() - offset));
}

std::vector<FolderEntry> FileSystem::ListEntries(std::string_view dir) {
  throw IoError(std::string(dir) + ": cannot list the folder's entries on this file system");
}

}  // namespace kve
