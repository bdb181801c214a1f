#pragma once
// The screen's use of the HotSync install queue: reading the users' names, finding the
// Palm's user, queuing and withdrawing an export's entries. The entries' paths come from the
// export table catalogue (exporting::PalmQueuePaths, PalmRemovalPaths).
//
// A withdrawal examines no result of the Install Aide: an entry that could not be removed
// is written to the log and the work goes on. Queuing an export does examine them: an export
// whose entries did not all arrive is no export (ReplaceEntries).

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

// Replaces the earlier export in `user`'s queue with the files at `paths` in one step: every
// file is staged beside the queue under a name a HotSync never installs, then all are put in
// place together (each by a rename over the entry it replaces), then each entry is checked to
// be there with the size that was copied. Answers the entries that did not arrive, each as
// "NAME (reason)"; empty when the whole export is queued. A refused staging leaves the queue
// as it was (the staged copies are discarded). A failed commit or check may leave entries of
// both exports: the caller withdraws the export then.
std::vector<std::string> ReplaceEntries(InstallAide& aide, const std::string& user,
                                        const std::vector<std::string>& paths, const QueueLog& log = {});

// One PltRemoveInstallFile call per path, in order; refusals are logged.
void RemoveEntries(InstallAide& aide, const std::string& user,
                   const std::vector<std::string>& paths, const QueueLog& log = {});

}  // namespace kve::palm
