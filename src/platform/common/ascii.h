#pragma once
// Letter case of names (fields, keys, parameters, files) compared the way the platform does:
// ASCII letters only, whatever the process locale says; and the blanks trimmed around a value
// or a line.

#include <string>
#include <string_view>

namespace kve {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string AsciiLowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline std::string AsciiUppered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// Space, tab, carriage return and line feed: what Trim takes off either end of a typed value,
// a request's argument or a line of a file written on either system.
constexpr bool IsAsciiBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

constexpr std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsAsciiBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsAsciiBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace kve
