#pragma once
// Large buffers that are filled once from start to end (a file read whole, a table's rows) take
// one page fault per 4 KiB page when first touched; backed by 2 MiB pages they take a few.
#include <cstddef>

namespace kve {

// Asks for huge pages on the whole 2 MiB pages inside [p, p + n), before they are first
// touched. A hint: where the system has none, or n is small, it changes nothing.
void AdviseHugePages(void* p, size_t n);

}  // namespace kve
