#include "platform/common/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace kve {

void AdviseHugePages(void* p, size_t n) {
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  if (n < 2 * kHugePage) return;  // too few whole huge pages inside to be worth a call
  const auto at = reinterpret_cast<uintptr_t>(p);
  const uintptr_t from = (at + kHugePage - 1) / kHugePage * kHugePage;
  const uintptr_t to = (at + n) / kHugePage * kHugePage;
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

}  // namespace kve
