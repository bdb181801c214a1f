#pragma once
// The binary data packet (".cds" files and table images on the wire). Layout: a 24-byte
// header, field descriptors, packet properties, then one record per row; all integers
// little-endian.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>
#include <string_view>

#include "platform/dataset/dataset.h"
#include "platform/dataset/packet_sink.h"

namespace kve {

// Writes the whole table (rows in storage order, change log included). Raises ValueError
// naming the table, column and row for a value the packet cannot hold (a character outside
// Windows-1252, a string over its width, a date out of range), and whatever the sink raises.
void WriteBinaryPacket(const TClientDataSet& ds, ByteSink& sink);

// Memory a builder writes into, kept by its owner for the next builder: a series of packets
// made one after the other (a call's table images) then touches the pages of the largest
// once, instead of fresh pages for every packet.
class PacketBuffer {
 public:
  PacketBuffer() = default;
  ~PacketBuffer();
  PacketBuffer(const PacketBuffer&) = delete;
  PacketBuffer& operator=(const PacketBuffer&) = delete;

 private:
  friend class BinaryPacketBuilder;
  char* data_ = nullptr;
  size_t cap_ = 0;
};

// Writes a packet a row at a time, for rows that never make a dataset (a database statement's,
// as they come). A row's values are set field by field in any order; a field not set is null.
// Values are stored as a dataset holds them: dates and times as milliseconds (SetInt), booleans
// as 0 or 1, texts UTF-8 (a text must stay valid until EndRow). The packet is the one
// WriteBinaryPacket writes for the same fields and rows, and the same values are refused.
class BinaryPacketBuilder {
 public:
  // With `reuse`, the builder writes into its memory and gives it back, grown, at its end;
  // one builder at a time per buffer.
  BinaryPacketBuilder(std::string_view table, const std::vector<FieldDef>& fields,
                      PacketBuffer* reuse = nullptr);
  ~BinaryPacketBuilder();
  BinaryPacketBuilder(const BinaryPacketBuilder&) = delete;
  BinaryPacketBuilder& operator=(const BinaryPacketBuilder&) = delete;

  void SetNull(int i);
  void SetInt(int i, int64_t v) { Set(i, static_cast<uint64_t>(v)); }
  void SetFloat(int i, double v);
  void SetStr(int i, std::string_view utf8);
  // Writes the row; raises ValueError naming the table, the row and the field for a value the
  // packet cannot hold.
  void EndRow();
  int64_t Rows() const { return rows_; }
  // The packet so far, row count included; valid until the next change or the builder's end.
  std::string_view Finish();

 private:
  struct Col;
  void Set(int i, uint64_t v);
  void Grow(size_t need);
  void GiveBack() noexcept;  // the memory to `reuse_`, or freed

  std::string table_;
  std::vector<FieldDef> defs_;
  std::vector<Col> cols_;
  std::vector<uint64_t> values_;
  std::vector<std::string_view> texts_;
  std::vector<uint8_t> nulls_;  // one bit per field, set = null
  std::vector<uint8_t> allNull_;
  size_t fixedMax_ = 0;         // a row's bytes but for its texts, plus the encoder's scratch
  size_t strBytes_ = 0;         // UTF-8 bytes of the row's texts
  char* buf_ = nullptr;
  size_t used_ = 0, cap_ = 0;
  int64_t rows_ = 0;
  PacketBuffer* reuse_ = nullptr;
};

// Replaces `into`'s fields and rows with the packet's. Raises FormatError saying what is
// wrong (without the source's name: the caller adds it). `into` may be left half-filled on
// error, so load into a scratch table.
// `consumed`, when given, is told now and then how many leading bytes the reader is done with
// and will not look at again (so a caller may release them).
void ReadBinaryPacket(std::string_view bytes, TClientDataSet& into,
                      const std::function<void(size_t)>& consumed = {});

// The Windows-1252 bytes of chosen string columns of one record, in the order asked; a null
// value is a view without data (an empty text has data). False stops the walk.
using PacketTextRow = std::function<bool(std::span<const std::string_view> values)>;

// Whether `bytes` are byte for byte what WriteBinaryPacket writes for the table they hold, so
// that a copy of them is that table's file without loading it: a well-formed packet of plain
// rows in the writer's own layout, every value one the writer gives back unchanged. Walks the
// records without keeping them. Passes `row` the values of `columns` (string fields, named
// without regard to case) of every record; false when one of them is missing or not a
// string, or when `row` returns false. Raises nothing: any doubt is false.
bool IsWrittenForm(std::string_view bytes, std::span<const std::string_view> columns = {},
                   const PacketTextRow& row = {});

}  // namespace kve
