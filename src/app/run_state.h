// What a run builds as its stages go, shared by the stages' files: the
// inputs as read and indexed, and the run's state up to its record.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/ct_run.h"
#include "app/exit_status.h"
#include "app/run.h"
#include "base/progress.h"
#include "input/readers.h"
#include "output/run_summary.h"
#include "output/solver_decks.h"
#include "thickness/closest_point.h"
#include "thickness/hole_flags.h"
#include "thickness/line_up.h"
#include "thickness/mesh_maps.h"
#include "thickness/nearest_vertex.h"
#include "thickness/orientation.h"
#include "thickness/thickness_pass.h"

namespace verdask {

struct SurfaceInputs : SurfaceData {
  int count = 0;
  std::unique_ptr<NearestVertex> vertices;
  std::unique_ptr<ClosestPoint> triangles;

  IndexedSurface indexed() const { return {&points, vertices.get(), &corners, triangles.get()}; }
};

// What the readers hand on.
struct RunInputs {
  PointSet mesh;
  int meshCount = 0;
  ShellMesh ownMesh;  // the mesh as its file gives it, its nodes moved to `mesh`
  SurfaceInputs cortical, trabecular;
  std::vector<Coord3> normals;
  std::string finding;    // the inputs plainly do not fit together
  int readersPassed = 0;  // the readers whose lines said they succeeded, in the run's order
  Volume ct;              // -ct
  std::vector<OpenEdge> trabecularOpenEdges;
};

// How a surface is read: the file, and what its triangles are for.

/// The lines a failed stage printed, for the run record: "a; b".
std::string failureOf(const std::string& messages, const char* driverLine);

class Clock {
 public:
  void lap(const char* stage) {
    auto now = std::chrono::steady_clock::now();
    laps_.emplace_back(stage, std::chrono::duration<double>(now - last_).count());
    last_ = now;
  }
  const std::vector<std::pair<std::string, double>>& laps() const { return laps_; }

 private:
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
  std::vector<std::pair<std::string, double>> laps_;
};

// Everything a run builds, for the stages and the run record.
struct RunState {
  Progress progress;  // how far it has come, for the progress line
  int threads = 1;
  RunInputs in;
  PassRecord record;
  ShellElements elements;
  std::vector<DeckPart> deckParts;  // the complete decks' parts
  Orientation orientation;
  std::unique_ptr<float[]> thickness;
  CtCalibration ct;  // the CT measure's scan-wide values, once calibrated
  ThicknessSummary summary;
  LineUp lineUp;
  std::vector<std::string> warnings;
  std::unique_ptr<HoleRims> holes;  // the rims of the trabecular surface's holes
  MapFacts maps;
  std::string failure;    // the lines the failing stage printed
  bool finished = false;  // the deck is complete
  Clock clock;
  // How the stage under way ends when memory runs out.
  int stageCode = kExitPassFailed;
  const char* stageFailure = "Failure calculating values\n";

  void warn(const std::string& text) {
    if (text.empty()) return;
    fprintf(stderr, "verdask: warning: %s\n", text.c_str());
    warnings.push_back(text);
  }
  // Inputs that plainly do not fit together end the run, unless -force
  // writes them anyway with a warning; returns 0 or the exit code.
  int refuse(const std::string& finding, bool force) {
    if (finding.empty()) return kExitSuccess;
    if (force) {
      warn(finding);
      return kExitSuccess;
    }
    std::string line = "Refused: " + finding + " (-force writes the outputs anyway)\n";
    fputs(line.c_str(), stdout);
    failure = failureOf("", line.c_str());
    return kExitInputsRefused;
  }
  // Prints a stage's captured messages, and the driver's line when it failed.
  int reportStage(int status, const std::string& messages, const char* failureLine,
                  const char* successLine, int code) {
    fputs(messages.c_str(), stdout);
    if (status != 0) {
      printf("%s", failureLine);
      failure = failureOf(messages, failureLine);
      return code;
    }
    printf("%s", successLine);
    return kExitSuccess;
  }
};

// The extra outputs and the summary, from what the pass and the deck saw; 0 or the exit code.

/// Runs the readers side by side, the larger files first, then prints their
/// messages in the run's order; 0 or the first failed reader's exit code.
int readInputs(InputFiles& files, bool surfaceMode, RunInputs& in, int threads,
               std::string& failure);

/// The bytes of the inputs, to size the run's heap.
long long inputBytes(const InputFiles& files);

/// Closes every output but the record; the exit code, with a write failure.
int closeOutputs(RunOptions& options, RunState& run, int code);

/// Puts the run in place: every output and the record when it succeeded, the
/// record alone when it failed; the exit code.
int commitRun(const InputFiles& inputs, RunOptions& options, RunState& run, int code);

}  // namespace verdask
