#include "base/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <new>
#include <thread>
#include <vector>

#include "base/report.h"

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

// Out of memory on a helper thread ends the work on the calling thread, not
// in std::terminate; no block after the failed one is consumed.
TEST(ProduceInOrder, ThrowsAHelpersExceptionOnTheCallingThread) {
  for (int threads : {1, 3}) {
    int consumed = 0;
    EXPECT_THROW(produceInOrder(
                     threads, 200, 8,
                     [](int b) {
                       if (b == 120) throw std::bad_alloc();
                     },
                     [&](int b) { consumed = b + 1; }),
                 std::bad_alloc);
    EXPECT_LE(consumed, 120);
    std::vector<std::function<void()>> tasks(50, [] {});
    tasks[17] = [] { throw std::bad_alloc(); };
    EXPECT_THROW(runTasks(threads, tasks), std::bad_alloc);
  }
}

}  // namespace

// Messages of the helper threads go where the caller's go, not to stdout.
TEST(Parallel, HelperThreadsReportIntoTheCallersCapture) {
  std::string captured;
  {
    ReportCapture capture(&captured);
    std::vector<std::function<void()>> tasks(8, [] { report("x\n"); });
    runTasks(4, tasks);
  }
  EXPECT_EQ(captured, "x\nx\nx\nx\nx\nx\nx\nx\n");
}

}  // namespace verdask
