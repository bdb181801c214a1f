#pragma once
// The temporaries a killed run leaves behind. Every file written whole goes first to a
// temporary beside it, ".NAME.tmp-PID-N", and is renamed into place; a run killed meanwhile
// leaves the temporary, which no one else ever opens. The next run removes those whose
// process no longer lives on this host, and leaves every other file alone.

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kve {

class FileSystem;

// The process that made `name`, when it is a temporary's name (".X.tmp-PID-N").
std::optional<pid_t> TemporaryOwner(std::string_view name);

// Whether `name` is a temporary of a process that has ended.
bool IsLeftoverOfEndedRun(std::string_view name);

// Whether `name` is a staged copy's ("~FILE.kve-staged"): a file written whole, then renamed
// into place, and opened by no one under that name meanwhile. A file system may write one
// without a temporary of its own; cut off half-way, such a file may hold part of its bytes
// until it is removed or written again, which harms no one as long as it is never renamed
// into place after a failed write (the staged set renames only once every write succeeded).
bool IsStagedCopyName(std::string_view name);

// Removes from the folder `dir` (a Windows-form path) the temporaries of ended runs and
// answers how many. A folder that does not exist holds none; a temporary that cannot be
// removed is left for the next run (it harms no one). Raises nothing.
size_t RemoveLeftoversOfEndedRuns(FileSystem& fs, std::string_view dir);

}  // namespace kve
