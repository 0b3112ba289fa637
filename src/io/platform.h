// Memory hints for large arrays. They pay off on Linux with glibc, where
// transparent huge pages spare most page faults of first touch; elsewhere
// they do nothing and the results are the same.
#pragma once

#include <cstddef>

namespace verdask {

/// Asks for huge pages behind a large array that is filled once, start to end.
void adviseHugePages(void* block, size_t bytes);

/// Makes every thread and every block, large ones included, come from one
/// heap, and grows it at once by `bytes` backed with huge pages (reserveHeap).
void prepareHeap(size_t bytes);

/// Grows the heap in one step by about `bytes` and backs it with huge pages,
/// for the many small blocks a tree build takes; small amounts are left alone.
void reserveHeap(size_t bytes);

}  // namespace verdask
