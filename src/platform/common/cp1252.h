#pragma once
// Windows-1252, the code page of every file and record the system exchanges. Texts are UTF-8
// inside the program; these functions convert at the edges.
//
// The five byte values the code page leaves undefined (81 8D 8F 90 9D) decode to the C1
// control characters of the same number and encode back to themselves, so any byte string
// survives a decode and an encode unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kve {

inline constexpr size_t kEncodedOk = static_cast<size_t>(-1);

// The Windows-1252 byte of a Unicode code point, or -1 when the code page cannot hold it.
int Cp1252FromCodePoint(uint32_t cp);
// The Unicode code point of a Windows-1252 byte.
uint32_t CodePointFromCp1252(uint8_t b);

// Decodes one UTF-8 sequence at `s[pos]`; returns its length and sets `cp`, or 0 when the
// bytes there are not well-formed UTF-8 (overlong, surrogate, truncated, above U+10FFFF).
size_t DecodeUtf8(std::string_view s, size_t pos, uint32_t& cp);
bool IsValidUtf8(std::string_view s);
// Characters of a UTF-8 text (continuation bytes do not count).
size_t Utf8Length(std::string_view s);

// Appends the Windows-1252 bytes of `utf8` to `out`. Returns kEncodedOk, or the byte offset in
// `utf8` of the first character that cannot be encoded (then `out` holds a partial result).
size_t AppendCp1252(std::string_view utf8, std::string& out);
// Appends the UTF-8 form of Windows-1252 bytes to `out`.
void AppendUtf8FromCp1252(std::string_view bytes, std::string& out);
void AppendUtf8(uint32_t cp, std::string& out);

// "character U+4E2D" or "invalid UTF-8 byte 0xC3": what stops the text at `offset` from being
// encoded, for error messages.
std::string DescribeUnencodable(std::string_view utf8, size_t offset);

}  // namespace kve
