#include "io/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace verdask {

namespace {

// Blocks that take uneven times: each is consumed once, in order, and only
// after it is produced, whatever the threads and the window.
TEST(ProduceInOrder, ConsumesEveryBlockInOrderOnlyOnceProduced) {
  for (int threads : {1, 2, 3, 5}) {
    SCOPED_TRACE(threads);
    constexpr int kBlocks = 300;
    std::vector<std::atomic<int>> produced(kBlocks);
    std::vector<int> consumed;
    bool readyWhenConsumed = true;
    produceInOrder(
        threads, kBlocks, 4 * threads,
        [&](int b) {
          if (b % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200 * (b % 3)));
          produced[b].store(1);
        },
        [&](int b) {
          readyWhenConsumed = readyWhenConsumed && produced[b].load() == 1;
          consumed.push_back(b);
        });
    EXPECT_TRUE(readyWhenConsumed);
    ASSERT_EQ(consumed.size(), size_t{kBlocks});
    for (int b = 0; b < kBlocks; ++b) EXPECT_EQ(consumed[b], b);
  }
}

}  // namespace

}  // namespace verdask
