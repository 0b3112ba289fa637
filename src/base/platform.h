// Memory hints for large arrays. They pay off on Linux with glibc, where
// transparent huge pages spare most page faults of first touch; elsewhere
// they do nothing and the results are the same.
#pragma once

#include <cstddef>

namespace verdask {

/// Asks for huge pages behind a large array that is filled once, start to end.
void adviseHugePages(void* block, size_t bytes);

/// Makes every thread and every block, large ones included, come from one
/// heap, and grows it at once by about `bytes` backed with huge pages, for the
/// many small blocks the tree builds take; small amounts are left alone. Call
/// it once, on the main thread, before any other thread starts.
void prepareHeap(size_t bytes);

}  // namespace verdask
