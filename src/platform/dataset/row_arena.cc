#include "platform/dataset/row_arena.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <new>

#include "platform/common/prefault.h"

namespace kve {
namespace {

// A new chunk is as large as the blocks in use (so a growing table's chunks double), from a
// size small enough for the many small tables of an export to one large enough that the
// largest takes few of them.
constexpr size_t kFirstChunk = size_t{16} << 10;
constexpr size_t kLargestChunk = size_t{8} << 20;

// A chunk's memory is made resident this much at a time ahead of the rows written into it (see
// PrefaultForWrite): a few system calls for a large table instead of a fault per page, and
// never more than this much resident and unused.
constexpr size_t kArenaResidentStep = size_t{256} << 10;

// Chunks of the largest size given back, kept for the next one wanted: a few, process-wide.
class KeptChunks {
 public:
  static KeptChunks& Get() {
    static auto* kept = new KeptChunks;  // never destroyed: arenas may end after static objects
    return *kept;
  }
  uint8_t* Take() {
    const std::lock_guard lock(mutex_);
    if (chunks_.empty()) return nullptr;
    uint8_t* const p = chunks_.back();
    chunks_.pop_back();
    return p;
  }
  bool Keep(uint8_t* p) {
    const std::lock_guard lock(mutex_);
    if (chunks_.size() >= kMax) return false;
    chunks_.push_back(p);
    return true;
  }
  void Release() {
    const std::lock_guard lock(mutex_);
    for (uint8_t* p : chunks_) std::free(p);
    chunks_.clear();
  }

 private:
  static constexpr size_t kMax = 4;
  std::mutex mutex_;
  std::vector<uint8_t*> chunks_;
};

}  // namespace

void RowArena::Free::operator()(uint8_t* p) const {
  if (size != kLargestChunk || !KeptChunks::Get().Keep(p)) std::free(p);
}

void RowArena::ReleaseKeptChunks() { KeptChunks::Get().Release(); }

void RowArena::Grow(size_t n) {
  if (end_ != nullptr && static_cast<size_t>(end_ - next_) >= n) {  // the chunk has room yet
    const size_t ahead = std::min(static_cast<size_t>(end_ - next_), std::max(n, left_ + kArenaResidentStep));
    PrefaultForWrite(next_ + left_, ahead - left_);
    left_ = ahead;
    return;
  }
  const size_t size = std::max(n, std::clamp(live_, kFirstChunk, kLargestChunk));
  uint8_t* p = size == kLargestChunk ? KeptChunks::Get().Take() : nullptr;
  // Plain pages: with huge pages behind a large table's chunks, writing its packet to a file
  // took markedly longer.
  if (p == nullptr) p = static_cast<uint8_t*>(std::malloc(size));
  if (p == nullptr) throw std::bad_alloc();
  Chunk chunk{std::unique_ptr<uint8_t, Free>(p, Free{size}), 0};
  if (emptySlots_.empty()) {
    chunks_.push_back(std::move(chunk));
    cur_ = static_cast<uint32_t>(chunks_.size() - 1);
  } else {
    cur_ = emptySlots_.back();
    emptySlots_.pop_back();
    chunks_[cur_] = std::move(chunk);
  }
  held_ += size;
  next_ = p;
  end_ = p + size;
  left_ = std::min(size, std::max(n, kArenaResidentStep));
  PrefaultForWrite(p, left_);
}

void RowArena::GiveBack(uint32_t chunk, size_t room) {
  Chunk& c = chunks_[chunk];
  c.live -= room;
  live_ -= room;
  if (c.live > 0) return;
  if (chunk == cur_) {  // nothing more is carved from it
    next_ = end_ = nullptr;
    left_ = 0;
  }
  held_ -= c.memory.get_deleter().size;
  c.memory.reset();
  emptySlots_.push_back(chunk);
}

void RowArena::Clear() {
  chunks_.clear();
  chunks_.shrink_to_fit();
  emptySlots_.clear();
  emptySlots_.shrink_to_fit();
  cur_ = 0;
  next_ = end_ = nullptr;
  left_ = held_ = live_ = 0;
}

}  // namespace kve
