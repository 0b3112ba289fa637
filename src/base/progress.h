// How far a run has come: the run owns its record and hands it, by scope, to
// what works for it (helper threads included), which advance it; the driver
// shows it on a terminal during long runs.
#pragma once

#include <atomic>

namespace verdask {

enum class Stage { kReading, kMeasuring, kWritingDeck };

struct Progress {
  std::atomic<Stage> stage{Stage::kReading};
  std::atomic<long long> done{0}, total{0};
  // The sizes that make a run long, as the readers learn them.
  std::atomic<long long> meshVertices{0}, surfaceVertices{0};
};

/// The progress the calling thread works for; null outside a run (a test, the
/// Python module), where advancing it does nothing.
Progress* currentProgress();

/// While it lives, the calling thread works for `progress`.
class ProgressScope {
 public:
  explicit ProgressScope(Progress* progress);
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  Progress* previous_;
};

/// Starts a stage of `total` units; done counts from 0.
void enterStage(Stage stage, long long total);

inline void advanceProgress(long long units) {
  if (Progress* progress = currentProgress()) {
    progress->done.fetch_add(units, std::memory_order_relaxed);
  }
}

/// Adds to the sizes that make a run long.
inline void countMeshVertices(long long count) {
  if (Progress* progress = currentProgress()) progress->meshVertices = count;
}
inline void countSurfaceVertices(long long count) {
  if (Progress* progress = currentProgress()) progress->surfaceVertices.fetch_add(count);
}

}  // namespace verdask
