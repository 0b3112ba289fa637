#include "base/platform.h"

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace verdask {

void adviseHugePages(void* block, size_t bytes) {
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  uintptr_t start = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kHugePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

namespace {

// Where the heap does not grow by sbrk (a sanitizer's allocator), this does nothing.
void reserveHeap(size_t bytes) {
  constexpr size_t kWorthReserving = size_t{8} << 20;  // smaller amounts fault little
  if (bytes < kWorthReserving) return;
  // Small blocks, taken until the heap grows: what is free at its top goes first.
  constexpr size_t kProbe = size_t{64} << 10;
  constexpr int kProbes = 256;
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(std::min<size_t>(bytes * 2, INT_MAX)));
  mallopt(M_TOP_PAD, static_cast<int>(std::min<size_t>(bytes, INT_MAX)));
  char* before = static_cast<char*>(sbrk(0));
  void* probes[kProbes] = {};
  for (void*& probe : probes) {
    if (static_cast<char*>(sbrk(0)) != before) break;
    probe = malloc(kProbe);
  }
  char* after = static_cast<char*>(sbrk(0));
  if (after > before) adviseHugePages(before, after - before);
  for (void* probe : probes) free(probe);
  mallopt(M_TOP_PAD, 128 << 10);  // glibc's default again
}

}  // namespace

void prepareHeap(size_t bytes) {
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_MMAP_MAX, 0);
  reserveHeap(bytes);
}

}  // namespace verdask

#else

namespace verdask {

void adviseHugePages(void*, size_t) {}
void prepareHeap(size_t) {}

}  // namespace verdask

#endif
