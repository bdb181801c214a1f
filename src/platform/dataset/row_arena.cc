#include "platform/dataset/row_arena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "platform/common/huge_pages.h"

namespace kve {
namespace {

// Chunks double from a size small enough for the many small tables of an export to a size
// large enough that the largest takes few of them.
constexpr size_t kFirstChunk = size_t{16} << 10;
constexpr size_t kLargestChunk = size_t{8} << 20;

}  // namespace

void RowArena::Free::operator()(uint8_t* p) const { std::free(p); }

void RowArena::Grow(size_t n) {
  const size_t size = std::max(n, chunkSize_ == 0 ? kFirstChunk : std::min(2 * chunkSize_, kLargestChunk));
  auto* p = static_cast<uint8_t*>(std::malloc(size));
  if (p == nullptr) throw std::bad_alloc();
  AdviseHugePages(p, size);
  chunks_.emplace_back(p);
  chunkSize_ = size;
  next_ = p;
  left_ = size;
}

void RowArena::Reserve(size_t n) {
  if (left_ < n) Grow(Room(n));
}

void RowArena::Clear() {
  chunks_.clear();
  chunks_.shrink_to_fit();
  next_ = nullptr;
  left_ = used_ = chunkSize_ = 0;
}

}  // namespace kve
