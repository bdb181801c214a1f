#include "platform/common/prefault.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older C library headers lack the name
#endif

namespace kve {

void PrefaultForWrite(void* p, size_t n) noexcept {
  // a kernel without the request says EINVAL once, and is not asked again
  static std::atomic<bool> unsupported{false};
  if (n == 0 || unsupported.load(std::memory_order_relaxed)) return;
  static const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto from = reinterpret_cast<uintptr_t>(p) / page * page;
  const auto to = (reinterpret_cast<uintptr_t>(p) + n + page - 1) / page * page;
  if (::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE) != 0 && errno == EINVAL)
    unsupported.store(true, std::memory_order_relaxed);
}

}  // namespace kve
