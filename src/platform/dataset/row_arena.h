#pragma once
// Where a table's row blocks live: carved one after another out of large chunks, so that a
// table of many rows costs a few allocations instead of one per row and its rows lie in
// arrival order in memory. A block is never moved; one given up (its row edited or lengthened
// elsewhere) stays until no block of its chunk is used any more, and then the chunk goes. A
// derivation that lengthens every row of a table moves the rows in order, so the chunks they
// leave go as it goes, and for a large table the chunks it fills are those it left (kept a few
// at a time, see row_arena.cc).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kve {

class RowArena {
 public:
  // The room a block of `n` bytes takes: blocks start 8-byte aligned, and even an empty one
  // (a row of a table without fields) has a place of its own.
  static size_t Room(size_t n) { return n == 0 ? 8 : (n + 7) & ~size_t{7}; }

  struct Block {
    uint8_t* at;
    uint32_t chunk;  // to give it back with
  };

  // Room(n) bytes, uninitialised, valid until given back, Clear or the arena's end.
  Block Allocate(size_t n) {
    n = Room(n);
    if (n > left_) Grow(n);
    uint8_t* const p = next_;
    next_ += n;
    left_ -= n;
    chunks_[cur_].live += n;
    live_ += n;
    return {p, cur_};
  }

  // A block of Room(n) bytes of `chunk` is no longer used.
  void GiveBack(uint32_t chunk, size_t room);

  size_t held() const { return held_; }  // bytes of the chunks held
  void Clear();

  // Large chunks given back are kept for the next one wanted, in any arena (fresh memory costs
  // a fault and the kernel's zeroing for every page); this hands the kept ones to the system,
  // for a long-running process between jobs.
  static void ReleaseKeptChunks();

 private:
  void Grow(size_t n);

  struct Free {
    size_t size;
    void operator()(uint8_t* p) const;
  };
  struct Chunk {
    std::unique_ptr<uint8_t, Free> memory;  // null once given back
    size_t live = 0;                        // bytes of its blocks in use
  };
  std::vector<Chunk> chunks_;
  std::vector<uint32_t> emptySlots_;  // of chunks_, to fill first
  uint32_t cur_ = 0;                  // the chunk blocks are carved from (when left_ > 0)
  uint8_t* next_ = nullptr;
  size_t left_ = 0;                   // bytes from next_ made resident ahead of the rows
  uint8_t* end_ = nullptr;            // of the chunk cur_ (null when none is carved from)
  size_t held_ = 0;
  size_t live_ = 0;  // bytes of the blocks in use, in all chunks
};

}  // namespace kve
