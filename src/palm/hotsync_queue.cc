#include "palm/hotsync_queue.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include <fmt/format.h>

namespace kve::palm {
namespace {

void Log(const QueueLog& log, std::string_view call, const std::string& user,
         const std::string& path, int result) {
  if (result == kPltOk) return;
  std::string line = fmt::format("HotSync queue: {}({}, {}): {} ({})", call, user, path,
                                 PltResultText(result), result);
  if (log) {
    log(line);
  } else {
    std::cerr << line << '\n';
  }
}

}  // namespace

std::string ReadHotSyncUser(InstallAide& aide, unsigned int index, std::int16_t& size) {
  char name[kHotSyncNameBuffer] = {};
  for (int call = 0; call < 3; ++call) {
    size = std::clamp<std::int16_t>(size, 0, kHotSyncNameBuffer);
    aide.PltGetUser(index, name, &size);
  }
  return std::string(HotSyncNamePrefix(std::string_view(name, strnlen(name, sizeof name - 1))));
}

bool HasHotSyncUser(InstallAide& aide, std::string_view name) {
  const int n = aide.PltGetUserCount();
  std::int16_t size = 0;
  for (int i = 0; i < n; ++i)
    if (ReadHotSyncUser(aide, static_cast<unsigned int>(i), size) == name) return true;
  return false;
}

void QueueEntry(InstallAide& aide, const std::string& user, const std::string& path,
                const QueueLog& log) {
  Log(log, "PltInstallFile", user, path, aide.PltInstallFile(user.c_str(), path.c_str()));
}

std::vector<std::string> ReplaceEntries(InstallAide& aide, const std::string& user,
                                        const std::vector<std::string>& paths, const QueueLog& log) {
  auto nameOf = [](const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); };
  std::vector<std::string> missing;
  std::vector<std::uint64_t> sizes(paths.size(), 0);
  for (size_t i = 0; i < paths.size(); ++i) {
    const int r = aide.PltStageInstallFile(user.c_str(), paths[i].c_str(), &sizes[i]);
    Log(log, "PltStageInstallFile", user, paths[i], r);
    if (r != kPltOk) missing.push_back(fmt::format("{} ({})", nameOf(paths[i]), PltResultText(r)));
  }
  if (!missing.empty()) {
    Log(log, "PltDiscardStaged", user, "", aide.PltDiscardStaged(user.c_str()));
    return missing;
  }
  const int committed = aide.PltCommitStaged(user.c_str());
  Log(log, "PltCommitStaged", user, "", committed);
  for (size_t i = 0; i < paths.size(); ++i) {
    InstallAide::PltEntryInfo info;
    const int r = aide.PltGetInstallFileInfo(user.c_str(), paths[i].c_str(), &info);
    if (r != kPltOk)
      missing.push_back(fmt::format("{} ({})", nameOf(paths[i]), PltResultText(r)));
    else if (info.bytes != sizes[i])
      missing.push_back(fmt::format("{} ({} bytes queued of {})", nameOf(paths[i]), info.bytes, sizes[i]));
  }
  // What stayed staged after a failed commit is no entry either.
  if (committed != kPltOk) Log(log, "PltDiscardStaged", user, "", aide.PltDiscardStaged(user.c_str()));
  return missing;
}

void RemoveEntries(InstallAide& aide, const std::string& user,
                   const std::vector<std::string>& paths, const QueueLog& log) {
  for (const std::string& p : paths)
    Log(log, "PltRemoveInstallFile", user, p, aide.PltRemoveInstallFile(user.c_str(), p.c_str()));
}

}  // namespace kve::palm
