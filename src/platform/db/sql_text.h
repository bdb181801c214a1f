#pragma once
// Reading SQL texts without an engine: where the :NAME parameters are, the engine-neutral
// rewrite to numbered placeholders, and the short forms that error messages quote.

#include <string>
#include <string_view>
#include <vector>

namespace kve::db_internal {

// One :NAME parameter of a text. `pos` is the offset of the colon, `len` counts the colon.
struct ParamRef {
  std::string name;  // without the colon, as written
  size_t pos = 0;
  size_t len = 0;
};

// The :NAME parameters outside string literals ('...', E'...', $tag$...$tag$), quoted
// identifiers ("...") and comments (-- and /* */, which nest as PostgreSQL has them).
// A "::" cast is not a parameter, nor is the type name after it.
std::vector<ParamRef> FindParams(std::string_view sql);

// The text with each :NAME replaced by $n, numbered in order of first appearance; a name
// used twice gets the same number (names compare without regard to letter case). `order`
// receives the names by number, upper-cased.
std::string NumberParams(std::string_view sql, std::vector<std::string>* order);

// The first line that is not blank, trimmed and cut to 80 characters: how messages name a
// statement.
std::string FirstLine(std::string_view sql);

// The URL with any password replaced by "***", for messages.
std::string RedactUrl(std::string_view url);

// Raises Error unless `name` is a plain identifier ([A-Za-z_][A-Za-z0-9_]*): table and
// column names are part of the text and must not carry anything else.
void RequireIdentifier(std::string_view name, std::string_view table);


}  // namespace kve::db_internal
