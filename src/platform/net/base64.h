#pragma once
// Base64 (standard alphabet, with padding) for table images on the wire. Table images run to
// tens of megabytes, so both directions work a block at a time without per-character branches.
// libsodium has base64 too, but built to run in constant time for secrets: on a GetTabelas
// answer it encodes about 4.4 times and decodes about 5.5 times slower (answer_read_bench), and
// table images are no secret.

#include <string>
#include <string_view>

namespace kve {

std::string Base64Encode(std::string_view bytes);
// Appends the encoding of `bytes` to `out`, without an intermediate copy.
void Base64EncodeTo(std::string& out, std::string_view bytes);

// Raises FormatError naming the offset of the first character that is not base64, or a
// length that is not a whole number of quads. Whitespace is not accepted.
std::string Base64Decode(std::string_view text);

}  // namespace kve
