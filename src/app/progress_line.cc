#include "app/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/progress.h"

namespace verdask {

namespace {

constexpr long long kLongMesh = 100000;
constexpr long long kLongSurfaces = 1000000;
constexpr auto kInterval = std::chrono::milliseconds(100);

bool isLong(const Progress& progress) {
  return progress.meshVertices > kLongMesh || progress.surfaceVertices > kLongSurfaces;
}

// The line for the stage in progress, padded to overwrite a longer one.
void printLine(const Progress& progress) {
  static const char* const kNames[] = {"reading inputs", "measuring thickness", "writing the deck"};
  long long total = std::max(progress.total.load(), 1LL);
  int percent = static_cast<int>(std::min(99LL, 100 * progress.done.load() / total));
  char line[80];
  int length = snprintf(line, sizeof line, "\rverdask: %-20s %3d%%   ",
                        kNames[static_cast<int>(progress.stage.load())], percent);
  if (write(STDERR_FILENO, line, length) < 0) return;
}

}  // namespace

ProgressLine::ProgressLine(const Progress& progress) : progress_(progress) {
  if (isatty(STDERR_FILENO)) thread_ = std::thread([this] { run(); });
}

void ProgressLine::run() {
  bool shown = false;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopped_.wait_for(lock, kInterval, [this] { return stopping_; })) {
    if (!isLong(progress_)) continue;
    printLine(progress_);
    shown = true;
  }
  static const char kClear[] = "\r                                         \r";
  if (shown && write(STDERR_FILENO, kClear, strlen(kClear)) < 0) return;
}

void ProgressLine::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace verdask
