#include "base/progress.h"

namespace verdask {

Progress& runProgress() {
  static Progress progress;
  return progress;
}

void enterStage(Stage stage, long long total) {
  Progress& progress = runProgress();
  progress.done = 0;
  progress.total = total;
  progress.stage = stage;
}

}  // namespace verdask
