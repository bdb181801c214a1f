#include "platform/fs/leftovers.h"

#include <signal.h>

#include <cerrno>
#include <charconv>

#include "platform/fs/file_system.h"

namespace kve {

std::optional<pid_t> TemporaryOwner(std::string_view name) {
  // ".X.tmp-PID-N": a dot, a name, ".tmp-", the process, '-', a counter.
  const size_t tag = name.rfind(".tmp-");
  if (name.size() < 2 || name[0] != '.' || tag == std::string_view::npos || tag == 0) return {};
  const std::string_view rest = name.substr(tag + 5);
  const size_t dash = rest.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash + 1 == rest.size()) return {};
  for (char c : rest.substr(dash + 1))
    if (c < '0' || c > '9') return {};
  long pid = 0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + dash, pid);
  if (ec != std::errc() || end != rest.data() + dash || pid <= 0) return {};
  return static_cast<pid_t>(pid);
}

bool IsLeftoverOfEndedRun(std::string_view name) {
  const std::optional<pid_t> owner = TemporaryOwner(name);
  // A process of another user still lives (EPERM): only "no such process" is an ended run.
  return owner && ::kill(*owner, 0) != 0 && errno == ESRCH;
}

bool IsStagedCopyName(std::string_view name) {
  constexpr std::string_view kSuffix = ".kve-staged";
  return name.size() > kSuffix.size() + 1 && name[0] == '~' && name.ends_with(kSuffix);
}

size_t RemoveLeftoversOfEndedRuns(FileSystem& fs, std::string_view dir) {
  size_t removed = 0;
  try {
    if (!fs.DirectoryExists(dir)) return 0;
    std::string folder(dir);
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    for (const std::string& name : fs.ListFiles(dir, ".*.tmp-*")) {
      if (!IsLeftoverOfEndedRun(name)) continue;
      try {
        if (fs.DeleteFile(folder + name)) ++removed;
      } catch (const std::exception&) {
        // left for the next run
      }
    }
  } catch (const std::exception&) {
    // a folder that cannot be listed now is looked at again by the next run
  }
  return removed;
}

}  // namespace kve
