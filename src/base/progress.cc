#include "base/progress.h"

namespace verdask {

namespace {

thread_local Progress* current = nullptr;

}  // namespace

Progress* currentProgress() { return current; }

ProgressScope::ProgressScope(Progress* progress) : previous_(current) { current = progress; }

ProgressScope::~ProgressScope() { current = previous_; }

void enterStage(Stage stage, long long total) {
  Progress* progress = currentProgress();
  if (!progress) return;
  progress->done = 0;
  progress->total = total;
  progress->stage = stage;
}

}  // namespace verdask
