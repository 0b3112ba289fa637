// Running independent pieces of work on several threads.
#pragma once

#include <functional>
#include <vector>

namespace verdask {

/// The machine's hardware threads, at least 1.
int machineThreads();

/// Runs every task once, on up to `threads` threads, the calling thread among
/// them; with 1, in order on the calling thread alone. The first exception a
/// task throws stops the tasks not yet begun and is thrown again here.
void runTasks(int threads, const std::vector<std::function<void()>>& tasks);

/// Runs work(begin, end) over 0..count - 1 cut into one range a thread, on up
/// to `threads` threads.
void runInRanges(int threads, int count, const std::function<void(int, int)>& work);

/// Runs produce(b) for blocks 0 to blocks - 1 on up to `threads` threads and
/// consume(b) on the calling thread, in block order, as soon as block b is
/// produced. At most `window` blocks wait to be consumed at any time. The
/// first exception either throws stops every thread and is thrown again here.
void produceInOrder(int threads, int blocks, int window, const std::function<void(int)>& produce,
                    const std::function<void(int)>& consume);

}  // namespace verdask
