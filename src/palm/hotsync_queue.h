#pragma once
// The screen's use of the HotSync install queue: reading the users' names, finding the
// Palm's user, queuing and withdrawing an export's entries. The entries' paths come from the
// export table catalogue (exporting::PalmQueuePaths, PalmRemovalPaths).
//
// The screen examines no result of the Install Aide: an entry that could not be queued or
// removed is written to the log and the work goes on.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/instaide/install_aide.h"

namespace kve::palm {

// Receives one line per refused queue call. Empty: the line goes to standard error.
using QueueLog = std::function<void(std::string_view line)>;

// The name of HotSync user `index`: three PltGetUser calls with the same buffer and the same
// size variable, then the buffer's text up to its first NUL, at most 31 characters (UTF-8, so
// "SÃO" is three characters in five bytes). `size` is
// shared by the calls of one pass over the users and is 0 before the first; it is brought
// back to the buffer's size before each call, so no library can be told to write past it.
std::string ReadHotSyncUser(InstallAide& aide, unsigned int index, std::int16_t& size);

// Whether a HotSync user is named exactly `name`, letter case included (one pass).
bool HasHotSyncUser(InstallAide& aide, std::string_view name);

// One PltInstallFile call; a refusal is logged.
void QueueEntry(InstallAide& aide, const std::string& user, const std::string& path,
                const QueueLog& log = {});

// One PltRemoveInstallFile call per path, in order; refusals are logged.
void RemoveEntries(InstallAide& aide, const std::string& user,
                   const std::vector<std::string>& paths, const QueueLog& log = {});

}  // namespace kve::palm
