// How far a run has come: stages advance it from any thread, and the driver
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

/// The process's one progress record.
Progress& runProgress();

/// Starts a stage of `total` units; done counts from 0.
void enterStage(Stage stage, long long total);

inline void advanceProgress(long long units) {
  runProgress().done.fetch_add(units, std::memory_order_relaxed);
}

}  // namespace verdask
