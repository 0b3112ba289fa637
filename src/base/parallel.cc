#include "base/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "base/progress.h"
#include "base/report.h"

namespace verdask {

int machineThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

void runInRanges(int threads, int count, const std::function<void(int, int)>& work) {
  int ranges = std::max(1, threads);
  std::vector<std::function<void()>> tasks;
  for (int r = 0; r < ranges; ++r) {
    tasks.push_back([&work, r, ranges, count] {
      work(static_cast<int>(1LL * count * r / ranges),
           static_cast<int>(1LL * count * (r + 1) / ranges));
    });
  }
  runTasks(threads, tasks);
}

namespace {

// `work` for a helper thread, whose messages go where the calling thread's go.
template <typename Work>
auto reportingAsCaller(Work work) {
  return [work, capture = currentCapture(), progress = currentProgress()] {
    ReportCapture captured(capture);
    ProgressScope working(progress);
    work();
  };
}

// The first exception any thread met (out of memory, say), to be thrown again
// on the calling thread once every helper has ended.
class FirstFailure {
 public:
  /// Runs `work`; false when it, or an earlier call, failed.
  template <typename Work>
  bool run(Work work) {
    try {
      work();
      return !failed_;
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!error_) error_ = std::current_exception();
      failed_ = true;
      return false;
    }
  }
  bool failed() const { return failed_; }
  void rethrow() const {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  std::mutex mutex_;
  std::exception_ptr error_;
  std::atomic<bool> failed_{false};
};

}  // namespace

void runTasks(int threads, const std::vector<std::function<void()>>& tasks) {
  std::atomic<size_t> next{0};
  FirstFailure failure;
  auto work = [&] {
    for (size_t i; !failure.failed() && (i = next++) < tasks.size();) failure.run(tasks[i]);
  };
  std::vector<std::thread> helpers;
  int wanted = std::min<long long>(threads, static_cast<long long>(tasks.size()));
  for (int i = 1; i < wanted; ++i) helpers.emplace_back(reportingAsCaller(work));
  work();
  for (std::thread& helper : helpers) helper.join();
  failure.rethrow();
}

namespace {

// The blocks of produceInOrder: which are claimed, which are done.
class BlockQueue {
 public:
  BlockQueue(int blocks, int window) : done_(blocks, 0), window_(window) {}

  /// Claims the next block if the window allows; -1 when there is none to claim now.
  int claim() {
    std::lock_guard<std::mutex> lock(mutex_);
    return claimable() ? next_++ : -1;
  }
  void finish(int block) {
    std::lock_guard<std::mutex> lock(mutex_);
    done_[block] = 1;
    changed_.notify_all();
  }
  /// Stops every thread: nothing more is claimed, and no one waits.
  void abandon() {
    std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
    changed_.notify_all();
  }
  bool isDone(int block) {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_[block];
  }
  /// Waits until `block` is done, or until another block may be claimed.
  void waitFor(int block) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return done_[block] || claimable() || abandoned_; });
  }
  /// Helpers wait here for room in the window; false once every block is claimed.
  bool waitForRoom() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return allClaimed() || claimable(); });
    return !allClaimed();
  }
  void consumed(int block) {
    std::lock_guard<std::mutex> lock(mutex_);
    consumed_ = block + 1;
    changed_.notify_all();
  }

 private:
  // Both with the mutex held.
  bool allClaimed() const { return abandoned_ || next_ >= static_cast<int>(done_.size()); }
  bool claimable() const { return !allClaimed() && next_ < consumed_ + window_; }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<char> done_;
  int window_;
  int next_ = 0;
  int consumed_ = 0;
  bool abandoned_ = false;
};

}  // namespace

void produceInOrder(int threads, int blocks, int window, const std::function<void(int)>& produce,
                    const std::function<void(int)>& consume) {
  BlockQueue queue(blocks, std::max(window, 1));
  FirstFailure failure;
  auto produceOne = [&](int block) {
    if (failure.run([&] { produce(block); })) {
      queue.finish(block);
    } else {
      queue.abandon();
    }
  };
  std::vector<std::thread> helpers;
  for (int i = 1; i < std::min(threads, blocks); ++i) {
    helpers.emplace_back(reportingAsCaller([&] {
      while (queue.waitForRoom()) {
        int block = queue.claim();
        if (block >= 0) produceOne(block);
      }
    }));
  }
  for (int block = 0; block < blocks && !failure.failed(); ++block) {
    // The calling thread produces too, until the block it must consume next is done.
    while (!queue.isDone(block) && !failure.failed()) {
      int claimed = queue.claim();
      if (claimed >= 0) {
        produceOne(claimed);
      } else {
        queue.waitFor(block);
      }
    }
    if (failure.failed() || !failure.run([&] { consume(block); })) break;
    queue.consumed(block);
  }
  queue.abandon();
  for (std::thread& helper : helpers) helper.join();
  failure.rethrow();
}

}  // namespace verdask
