#include "platform/fs/win_path.h"

#include <algorithm>

#include "platform/common/ascii.h"
#include "platform/common/error.h"

namespace kve {
namespace {

[[noreturn]] void Refuse(std::string_view path, const std::string& why) {
  throw ValueError(std::string(path) + ": " + why);
}

std::vector<std::string> SplitParts(std::string_view path, std::string_view rest) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= rest.size()) {
    size_t j = rest.find('\\', i);
    if (j == std::string_view::npos) j = rest.size();
    std::string_view name = rest.substr(i, j - i);
    i = j + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") Refuse(path, "a '..' in the path would leave its root");
    if (name.find(':') != std::string_view::npos) Refuse(path, "':' inside a name");
    parts.emplace_back(name);
  }
  return parts;
}

}  // namespace

WinPath ParseWinPath(std::string_view path, char currentDrive) {
  if (path.empty()) Refuse("(empty path)", "no path given");
  for (char c : path) {
    if (static_cast<unsigned char>(c) < 0x20) Refuse(path, "control character in the path");
  }
  std::string p(path);
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  WinPath w;
  std::string_view s = p;
  auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
    w.root = WinPath::Root::Share;
    std::string_view host = s.substr(2, s.find('\\', 2) == std::string_view::npos
                                            ? std::string_view::npos
                                            : s.find('\\', 2) - 2);
    if (host == "." || host == "?") Refuse(path, "a device path is not a share path");
    std::vector<std::string> parts = SplitParts(path, s.substr(2));
    if (parts.size() < 2) Refuse(path, "a share path needs \\\\HOST\\SHARE");
    if (parts[1] == "?") Refuse(path, "not a share path");
    w.host = parts[0];
    w.share = parts[1];
    w.parts.assign(parts.begin() + 2, parts.end());
    return w;
  }
  w.root = WinPath::Root::Drive;
  std::string_view rest;
  if (s.size() >= 2 && isLetter(s[0]) && s[1] == ':') {
    w.drive = static_cast<char>(s[0] >= 'a' ? s[0] - 'a' + 'A' : s[0]);
    if (s.size() > 2 && s[2] != '\\') Refuse(path, "a drive-relative path is not allowed");
    rest = s.substr(2);
  } else if (!s.empty() && s[0] == '\\') {
    w.drive = static_cast<char>(currentDrive >= 'a' ? currentDrive - 'a' + 'A' : currentDrive);
    rest = s;
  } else {
    Refuse(path, "a relative path is not allowed");
  }
  w.parts = SplitParts(path, rest);
  return w;
}

WinPath WinPath::Parent() const {
  WinPath p = *this;
  p.parts.pop_back();
  return p;
}

std::string WinPath::Text() const {
  std::string out = root == Root::Drive ? std::string(1, drive) + ":" : "\\\\" + host + "\\" + share;
  if (parts.empty() && root == Root::Drive) return out + "\\";
  for (const auto& n : parts) out += "\\" + n;
  return out;
}

std::string WinPath::Key() const { return AsciiLowered(Text()); }

void SortNamesWithoutCase(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    std::string la = AsciiLowered(a), lb = AsciiLowered(b);
    return la != lb ? la < lb : a < b;
  });
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*" || mask.empty()) mask = "*";
  std::string n = AsciiLowered(name), m = AsciiLowered(mask);
  // Iterative glob: remember the last '*' and retry from there on a mismatch.
  size_t i = 0, j = 0, star = std::string::npos, mark = 0;
  while (i < n.size()) {
    if (j < m.size() && (m[j] == '?' || m[j] == n[i])) {
      ++i;
      ++j;
    } else if (j < m.size() && m[j] == '*') {
      star = j++;
      mark = i;
    } else if (star != std::string::npos) {
      j = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (j < m.size() && m[j] == '*') ++j;
  return j == m.size();
}

}  // namespace kve
