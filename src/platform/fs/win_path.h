#pragma once
// Parsing of Windows-form paths, shared by the file systems.

#include <string>
#include <string_view>
#include <vector>

namespace kve {

struct WinPath {
  enum class Root { Drive, Share };
  Root root = Root::Drive;
  char drive = 'C';             // Root::Drive, upper case
  std::string host, share;      // Root::Share
  std::vector<std::string> parts;  // names below the root, "." dropped

  bool IsRoot() const { return parts.empty(); }
  WinPath Parent() const;  // REQUIRES: !IsRoot()
  // "C:\a\b" or "\\HOST\SHARE\a", as given (letter case kept).
  std::string Text() const;
  // Text() in lower case, for comparing without regard to case.
  std::string Key() const;
};

// Raises ValueError "PATH: ..." for an empty or relative path, a ".." part, a control
// character, a share path without host or share, or a host or share named "." or "?".
WinPath ParseWinPath(std::string_view path, char currentDrive = 'C');

// '*' and '?' mask, letter case ignored.
bool MatchesMask(std::string_view name, std::string_view mask);

// Sorts names as folder listings are ordered: without regard to letter case, names that
// differ only by case in byte order.
void SortNamesWithoutCase(std::vector<std::string>& names);

}  // namespace kve
