// The progress line of a long run on a terminal.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/progress.h"

namespace verdask {

/// While standard error is a terminal and the run is long (more than 100,000
/// mesh vertices or 1,000,000 surface vertices), shows the current stage and
/// its percentage on one line of standard error, rewritten at most ten times
/// a second; stop() clears it. Nothing is written otherwise.
class ProgressLine {
 public:
  explicit ProgressLine(const Progress& progress);
  ~ProgressLine() { stop(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void stop();

 private:
  void run();

  const Progress& progress_;
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace verdask
