#pragma once
// Fresh memory a writer is about to fill, made resident in one call instead of one page fault
// per 4 KiB page. Where a page fault is dear (a virtual machine traps each one), the faults of
// a large table's rows cost more than reading them; the kernel populating a range at once
// takes about half as long. Only a hint: where the system cannot, the pages fault in as they
// are first written, as before.
#include <cstddef>
#include <memory>

namespace kve {

// Pages holding any byte of [p, p + n), all of them memory of this process, made writable and
// resident; their contents are left as they are.
void PrefaultForWrite(void* p, size_t n) noexcept;

// For a vector that grows by appending: each larger buffer it moves to is made resident when
// it is allocated, so neither the move nor the appends after it fault page by page.
template <typename T>
struct PrefaultAllocator : std::allocator<T> {
  using value_type = T;
  template <typename U>
  struct rebind {
    using other = PrefaultAllocator<U>;
  };
  PrefaultAllocator() = default;
  template <typename U>
  PrefaultAllocator(const PrefaultAllocator<U>&) noexcept {}

  T* allocate(size_t n) {
    T* const p = std::allocator<T>::allocate(n);
    if (n * sizeof(T) >= kPrefaultFrom) PrefaultForWrite(p, n * sizeof(T));
    return p;
  }
  // below this a buffer lies in memory the allocator has touched before, most likely
  static constexpr size_t kPrefaultFrom = size_t{128} << 10;
};

template <typename T, typename U>
bool operator==(const PrefaultAllocator<T>&, const PrefaultAllocator<U>&) noexcept {
  return true;
}

}  // namespace kve
