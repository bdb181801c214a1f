#pragma once
// Where a table's row blocks live: carved one after another out of large chunks, so that a
// table of many rows costs a few allocations instead of one per row, the rows lie in arrival
// order in memory, and the whole is given back chunk by chunk. A block is never moved or freed
// alone: the table notes what it abandons and copies its live rows into a fresh arena when
// the abandoned bytes outweigh them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kve {

class RowArena {
 public:
  RowArena() = default;
  RowArena(RowArena&&) noexcept = default;
  RowArena& operator=(RowArena&&) noexcept = default;

  // The room a block of `n` bytes takes: blocks start 8-byte aligned, and even an empty one
  // (a row of a table without fields) has a place of its own.
  static size_t Room(size_t n) { return n == 0 ? 8 : (n + 7) & ~size_t{7}; }

  // Room(n) bytes, uninitialised, valid until Clear or the arena's end.
  uint8_t* Allocate(size_t n) {
    n = Room(n);
    if (n > left_) Grow(n);
    uint8_t* const p = next_;
    next_ += n;
    left_ -= n;
    used_ += n;
    return p;
  }

  // The next chunk holds at least `n` bytes (a copy of a whole table takes one chunk).
  void Reserve(size_t n);

  size_t used() const { return used_; }  // bytes handed out since the last Clear
  void Clear();

 private:
  void Grow(size_t n);

  struct Free {
    void operator()(uint8_t* p) const;
  };
  std::vector<std::unique_ptr<uint8_t, Free>> chunks_;
  uint8_t* next_ = nullptr;
  size_t left_ = 0;
  size_t used_ = 0;
  size_t chunkSize_ = 0;  // of the last chunk
};

}  // namespace kve
