// The row arena and the writers' output buffer make their memory resident a step at a time
// ahead of what is written; these check that no byte goes astray across the steps, chunks and
// hand-overs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/common/prefault.h"
#include "platform/dataset/packet_sink.h"
#include "platform/dataset/row_arena.h"

namespace kve {
namespace {

TEST(ResidentMemory, PrefaultKeepsWhatTheMemoryHolds) {
  std::vector<uint8_t> v(3 << 20);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 7 + 3);
  PrefaultForWrite(v.data() + 5, v.size() - 9);  // ends inside pages shared with other data
  PrefaultForWrite(v.data(), 0);
  for (size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], static_cast<uint8_t>(i * 7 + 3)) << i;
}

TEST(ResidentMemory, ArenaBlocksStayApartAcrossStepsAndChunks) {
  RowArena arena;
  // small blocks, blocks that cross a resident step, one larger than the largest chunk
  const size_t sizes[] = {1, 7, 8, 300, 4000, 200 << 10, 300 << 10, 1 << 20, 9 << 20, 16, 100 << 10};
  struct Held {
    uint8_t* at;
    size_t n;
    uint8_t mark;
  };
  std::vector<Held> held;
  for (int round = 0; round < 6; ++round)
    for (size_t n : sizes) {
      const RowArena::Block b = arena.Allocate(n);
      const auto mark = static_cast<uint8_t>(held.size() + 1);
      std::fill(b.at, b.at + n, mark);
      held.push_back({b.at, n, mark});
    }
  for (const Held& h : held)
    for (size_t i = 0; i < h.n; ++i) ASSERT_EQ(h.at[i], h.mark) << "block " << int(h.mark) << " byte " << i;
}

class Collect final : public ByteSink {
 public:
  void Write(const char* data, size_t n) override {
    out.append(data, n);
    ++writes;
  }
  std::string out;
  int writes = 0;
};

TEST(ResidentMemory, OutBufferHandsOverEveryByteInOrder) {
  Collect sink;
  std::string want;
  {
    OutBuffer buf(sink, 600 << 10);
    // reservations within a step, across steps, filling the buffer, and larger than it
    const size_t sizes[] = {10, 100 << 10, 50 << 10, 200 << 10, 1, 599 << 10, 700 << 10, 3, 128 << 10};
    char next = 'a';
    for (size_t n : sizes) {
      char* c = buf.Reserve(n);
      for (size_t i = 0; i < n; ++i) c[i] = static_cast<char>(next + i % 26);
      want.append(c, n);
      buf.Commit(c + n);
      next = static_cast<char>(next == 'z' ? 'a' : next + 1);
    }
    buf.Append("tail");
    want += "tail";
    buf.Flush();
  }
  EXPECT_EQ(sink.out.size(), want.size());
  EXPECT_TRUE(sink.out == want);
  EXPECT_GT(sink.writes, 2);
}

}  // namespace
}  // namespace kve
