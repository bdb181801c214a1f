#pragma once
// Turns the rows a server SQL text selected into a table image: the layout's fields first, in
// its order and with its types, then any further columns the text selected, as they came.

#include <string>
#include <string_view>

#include "platform/dataset/dataset.h"
#include "server/image_layouts.h"

namespace kve::server {

// Fills `out` from `rows`. Values convert to the layout's types: numbers to text without
// exponent ("12.5"), date texts "yyyy-mm-dd[ hh:mm:ss]" to dates. Raises Error naming
// `origin`, the table, the row and the column for a missing column, a text longer than its
// field or a value that does not convert.
void TypeRows(const TClientDataSet& rows, const ImageLayout& layout, std::string_view origin,
              TClientDataSet& out);

// The binary data packet of `rows` typed by `layout`.
std::string BuildImage(const TClientDataSet& rows, const ImageLayout& layout,
                       std::string_view origin);

// An image of `layout` with no rows.
std::string EmptyImage(const ImageLayout& layout);

}  // namespace kve::server
