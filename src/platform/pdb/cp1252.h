#pragma once
// Windows-1252, the code page of every text a Palm database holds. Texts are UTF-8 inside the
// program; these convert at the file's edge.

#include <optional>
#include <string>
#include <string_view>

namespace kve::pdb {

// Appends the Windows-1252 bytes of `utf8` to `out`. Returns false (leaving `out` with a
// partial append) when `utf8` is not valid UTF-8 or holds a character the code page lacks;
// `bad` then receives that character as written, for the error message.
bool AppendCp1252(std::string_view utf8, std::string& out, std::string* bad = nullptr);

// The UTF-8 form of Windows-1252 bytes. The five bytes the code page leaves undefined
// (81 8D 8F 90 9D) read as the control characters of the same number, so nothing is lost.
std::string Cp1252ToUtf8(std::string_view bytes);

}  // namespace kve::pdb
