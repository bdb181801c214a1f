#pragma once
// Turns the rows a server SQL text selected into a table image: the layout's fields first, in
// its order and with its types, then any further columns the text selected, as they came.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dataset/binary_packet.h"
#include "platform/dataset/dataset.h"
#include "platform/db/database.h"
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

// Writes a statement's rows straight into the image of `layout` as the engine hands them over,
// converting each value as the engine's dataset and then TypeRows would (same packet, same
// errors), without the two tables in between. Errors do not name the SQL file: the caller
// adds it, as to the engine's own. A statement whose further columns are typed only by their
// values (an SQLite expression, a text of no declared width) takes the way through the tables.
class ImageWriter final : public RowReceiver {
 public:
  // With `reuse`, the image is written into that buffer's memory (see PacketBuffer).
  explicit ImageWriter(const ImageLayout& layout, PacketBuffer* reuse = nullptr);
  ~ImageWriter() override;

  void Begin(std::vector<ResultColumn> columns, std::string context) override;
  void Null(int i) override;
  void Int(int i, int64_t v) override;
  void Float(int i, double v) override;
  void Text(int i, std::string_view v) override;
  void EndRow() override;

  // The image, once the statement has run; valid while the writer lives. `origin` names the
  // SQL file in the errors of the way through the tables.
  std::string_view Image(std::string_view origin);
  int64_t Rows() const { return rows_; }

 private:
  struct Source;
  [[noreturn]] void Fail(const Source& s, const std::string& what, bool format) const;
  [[noreturn]] void FailTarget(const Source& s, const std::string& what) const;
  // A text into a text field, refused when longer (in characters) than the field.
  void SetString(const Source& s, std::string_view text);
  void PutInt(Source& s, int64_t v);
  void PutFloat(Source& s, double v);
  void PutText(Source& s, std::string_view v);
  void PutMs(Source& s, int64_t ms);

  const ImageLayout& layout_;
  std::string context_;
  std::vector<Source> sources_;
  std::vector<std::string> scratch_;  // texts made for the row being written, per field
  PacketBuffer* reuse_;
  std::unique_ptr<BinaryPacketBuilder> packet_;
  int64_t rows_ = 0;
  // The way through the tables
  std::unique_ptr<RowReceiver> gathered_;
  std::string built_;
};

// An image of `layout` with no rows.
std::string EmptyImage(const ImageLayout& layout);

}  // namespace kve::server
