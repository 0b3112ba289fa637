#include "app/run.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/ct_run.h"
#include "app/exit_status.h"
#include "app/progress_line.h"
#include "app/run_state.h"
#include "base/build_info.h"
#include "base/file_digest.h"
#include "base/output_files.h"
#include "base/parallel.h"
#include "base/platform.h"
#include "base/progress.h"
#include "base/report.h"
#include "input/formats.h"
#include "input/readers.h"
#include "input/scan.h"
#include "output/class_sections.h"
#include "output/nodal_table.h"
#include "output/run_record.h"
#include "output/run_summary.h"
#include "output/shell_cards.h"
#include "output/solver_decks.h"
#include "output/thickness_view.h"
#include "thickness/closest_point.h"
#include "thickness/hole_flags.h"
#include "thickness/line_up.h"
#include "thickness/measure.h"
#include "thickness/mesh_maps.h"
#include "thickness/nearest_vertex.h"
#include "thickness/orientation.h"
#include "thickness/pass_findings.h"
#include "thickness/thickness_maps.h"
#include "thickness/thickness_pass.h"
#include "thickness/vertex_normals.h"

namespace verdask {

namespace {

void printSettings(const InputFiles& inputs, const RunOptions& options) {
  printf("thickness addition : %lf\n", options.adjThick);
  printf("maximum thickness : %lf\n", options.maxThick);
  printf("minimum thickness : %lf\n", options.minThick);
  printf("start shells with : %d\n", options.shellNum);
  printf("assinging shell value : %d\n", options.shellVal);
  printf("using mesh file       : %s\n", inputs.meshName);
  printf("using cortical file   : %s\n", inputs.corticalName);
  printf("using normals file    : %s\n", inputs.normalsName);
  printf("using trabecular file : %s\n\n", inputs.trabecularName);
}

int writeExtras(const RunOptions& options, const RunState& run) {
  bool decks = options.writes(&ExtraOutput::completeDeck);
  ShellElements outward = decks ? facingOutwards(run.elements, run.orientation) : ShellElements();
  DeckNames names;
  names.comment = "verdask " VERDASK_VERSION ":";
  for (const std::string& word : options.commandLine) names.comment += " " + word;
  names.parts = run.deckParts;
  names.firstElement = options.shellNum;
  if (options.sections > 0) sectionByClass(run.maps.classes, outward, names);
  RunProducts products{&run.in.mesh,        &run.elements, &outward, run.orientation.inwardCount,
                       run.thickness.get(), &run.record,   &names,   run.threads};
  for (int k = 0; k < kExtraOutputCount; ++k) {
    const FileHandle& file = options.extras[k];
    if (file.get() && kExtraOutputs[k].write(file.get(), file.name(), products) != 0) {
      return kExitOutputFailed;
    }
  }
  if (options.summary) {
    printRunSummary(run.elements.count(), run.summary, run.record, run.lineUp,
                    run.orientation.inwardCount);
    printMapSummary(run.maps);
  }
  return kExitSuccess;
}

// Which way the elements face; those that cannot be told are warned of, by
// their number in the deck (from `firstElement`).
void orientDeck(int firstElement, RunState& run) {
  run.orientation = orientElements(run.in.mesh, run.elements, run.record.normals);
  if (run.orientation.inwardCount > 0) {
    fprintf(stderr,
            "verdask: %d of %d elements face inwards: their corners run against the cortical "
            "normals (-inp and -deck turn them)\n",
            run.orientation.inwardCount, run.elements.count());
  }
  for (const std::string& warning :
       undecidedWarnings(run.orientation, run.elements, firstElement)) {
    run.warn(warning);
  }
}

// A mesh file's own element numbers and parts stand unless -num or -val is
// given; what its reader left out or did not follow is said on stderr.
void takeOwnNumbers(const char* meshName, const RunOptions& options, RunState& run) {
  ShellMesh& mesh = run.in.ownMesh;
  if (options.shellNumGiven) mesh.elements.numbers.clear();
  if (options.shellValGiven) mesh.elements.parts.clear();
  for (int& part : mesh.elements.parts) {
    if (part < 0) part = options.shellVal;
  }
  std::string leftOut;
  for (const auto& [kind, count] : mesh.others) {
    leftOut += (leftOut.empty() ? "" : ", ") + std::to_string(count) + " " + kind;
  }
  if (!leftOut.empty()) {
    fprintf(stderr, "verdask: %s: left out of the deck, not being shells: %s elements\n", meshName,
            leftOut.c_str());
  }
  for (const std::string& warning : mesh.warnings) run.warn(warning);
}

// The complete decks' parts, the mesh's own or the one of the options; a
// material mapped to a part the mesh has not fails the run before the pass.
int settleDeckParts(const RunOptions& options, RunState& run) {
  DeckPart given{options.shellVal, options.elset, options.material, options.materialId};
  std::string messages;
  int status;
  {
    ReportCapture capture(&messages);
    status = deckPartsOf(run.in.ownMesh.elements, run.in.ownMesh.partNames, given,
                         options.partMaterials, &run.deckParts);
  }
  fputs(messages.c_str(), stdout);
  if (status == 0) return kExitSuccess;
  run.failure = failureOf(messages, "");
  return kExitOutputFailed;
}

// Checks the CT image against the surfaces and sets the values its fits
// hold, then tells them; 0 or the exit code.
int calibrateCt(CtMeasure& measure, const RunOptions& options, RunState& run) {
  constexpr int kSampled = 2000;  // nodes spread over the mesh: enough for a median
  CtVerdict verdict = measure.calibrate(run.in.mesh, kSampled, run.threads);
  if (!verdict.failure.empty()) {
    std::string line = "Failure: " + verdict.failure + "\n";
    fputs(line.c_str(), stdout);
    run.failure = failureOf("", line.c_str());
    return kExitImageFailed;
  }
  if (int code = run.refuse(verdict.finding, options.force)) return code;
  run.ct = measure.calibration();
  fputs(ctCalibrationLine(run.ct).c_str(), stdout);
  return kExitSuccess;
}

// The trabecular surface's open edges and which of them are the rims of
// holes, the cortical surface going on over them: said where it has holes (a
// shaft cut at both surfaces' ends is open too, and as good as a closed one).
void findHoles(const InputFiles& inputs, RunState& run) {
  run.holes = holeRimsOf(run.in.trabecular.points, run.in.trabecularOpenEdges,
                         run.in.cortical.indexed(), run.maps);
  if (run.maps.rimEdges == 0) return;
  fprintf(stderr,
          "verdask: %s is open: %d edges of one triangle, %d of them rims of holes under the "
          "cortical surface\n",
          inputs.trabecularName, run.maps.openEdges, run.maps.rimEdges);
}

// The nodes measured through a hole and those that stand out from their
// neighbourhood, flagged in the quality and counted on stderr.
void flagThickness(const RunOptions& options, const MeshGraph& graph, RunState& run) {
  flagNodes(run.holes.get(), *options.measure, options.maxThick, graph, run.record, run.threads,
            run.maps);
  for (const FlaggedLine& line : flaggedLines(run.maps, run.in.meshCount, options.fill)) {
    if (line.warning) {
      run.warn(line.text);
    } else {
      fprintf(stderr, "verdask: %s\n", line.text.c_str());
    }
  }
}

// -fill and -smooth change the distances after the flags; the thickness
// comes from them, and the logs are written with it. 0 or the exit code.
int mapThickness(const RunOptions& options, RunState& run) {
  // The maps need the elements before the deck: what is wrong with them is told now.
  const Status& elementFailure = run.in.ownMesh.elementFailure;
  if (elementFailure) {
    return run.reportStage(elementFailure.code, elementFailure.message,
                           "Failure parsing triangles in .ascii file\n", "", kExitDeckFailed);
  }
  MeshGraph graph(run.in.mesh, run.in.ownMesh.elements);
  flagThickness(options, graph, run);
  run.record.measuredThickness.assign(run.thickness.get(), run.thickness.get() + run.in.meshCount);
  std::vector<double> distances =
      mappedDistances(graph, options.fill, options.smoothWidth, run.record, run.threads, run.maps);
  if (run.maps.filled + run.maps.unfilled > 0) {
    fprintf(stderr, "verdask: filled the thickness of %d nodes from their neighbours",
            run.maps.filled);
    if (run.maps.unfilled > 0) {
      fprintf(stderr, "; %d without one to fill from kept theirs", run.maps.unfilled);
    }
    fprintf(stderr, "\n");
  }
  const std::vector<int>& numbers = run.in.ownMesh.elements.nodeNumbers;
  std::string messages;
  int status;
  {
    ReportCapture capture(&messages);
    status =
        settleThickness(options.table.get(), options.answers.get(), distances, run.thickness.get(),
                        options.adjThick, options.maxThick, options.minThick, run.record,
                        run.threads, numbers.empty() ? nullptr : numbers.data());
  }
  return run.reportStage(status, messages, "Failure calculating values\n", "", kExitPassFailed);
}

// The thickness pass with the measure the options choose; 0 or the exit code.
int measureThickness(const RunOptions& options, RunState& run) {
  run.record.deferLogs = options.mapsThickness();
  run.record.keepVertices = options.writes(&ExtraOutput::perVertex) || options.summary ||
                            options.json.get() || run.record.deferLogs;
  run.record.keepProfiles = options.measure->fromImage;
  run.thickness.reset(new (std::nothrow) float[run.in.meshCount]);
  CtOptions ct = ctOptionsOf(options);
  std::unique_ptr<Measure> measure =
      options.measure->make({run.in.cortical.indexed(), run.in.normals.data(),
                             run.in.trabecular.indexed(), options.maxThick, &run.in.ct, &ct});
  if (options.measure->fromImage) {
    if (int code = calibrateCt(static_cast<CtMeasure&>(*measure), options, run)) return code;
  }
  std::string messages;
  int status = -1;
  if (run.thickness) {
    ReportCapture capture(&messages);
    status = calculateValues(
        options.table.get(), options.answers.get(), run.in.mesh, *measure, run.thickness.get(),
        options.adjThick, options.maxThick, options.minThick, run.record, run.threads,
        run.in.ownMesh.elements.nodeNumbers.empty() ? nullptr
                                                    : run.in.ownMesh.elements.nodeNumbers.data());
  }
  if (int code = run.reportStage(status, messages, "Failure calculating values\n",
                                 "Finished calculating values\n", kExitPassFailed)) {
    return code;
  }
  PassFindings found =
      judgePass(run.record, run.thickness.get(), run.in.mesh, run.in.cortical.indexed(),
                run.in.trabecular.indexed(), options.toTriangles(), run.threads);
  run.lineUp = found.lineUp;
  std::string refusal = found.plain.empty() && options.writes(&ExtraOutput::completeDeck)
                            ? found.deckPlain
                            : found.plain;
  if (int code = run.refuse(options.force ? "" : refusal, false)) return code;
  for (const std::string& warning : found.warnings) run.warn(warning);
  return kExitSuccess;
}

int writeDeck(InputFiles& inputs, const RunOptions& options, RunState& run) {
  std::string messages;
  int status;
  {
    ReportCapture capture(&messages);
    status = writeMeshShellCards(options.keyword.get(), run.in.ownMesh, run.thickness.get(),
                                 run.in.meshCount, options.shellNum, options.shellVal,
                                 fileWords(inputs.meshName, *inputs.meshFormat, "").c_str(),
                                 run.threads);
  }
  run.elements = std::move(run.in.ownMesh.elements);
  return run.reportStage(status, messages, "Failure parsing triangles in .ascii file\n",
                         "Finished parsing triangles in .ascii file\n", kExitDeckFailed);
}

// Runs the stages in order, each timed; returns the exit code.
int runStages(InputFiles& inputs, const RunOptions& options, RunState& run) {
  ProgressScope working(&run.progress);
  enterStage(Stage::kReading, inputBytes(inputs));
  ProgressLine progress(run.progress);
  if (int code = readInputs(inputs, options.toTriangles(), run.in, run.threads, run.failure)) {
    return code;
  }
  if (int code = run.refuse(run.in.finding, options.force)) return code;
  findHoles(inputs, run);
  takeOwnNumbers(inputs.meshName, options, run);
  if (int code = settleDeckParts(options, run)) return code;
  run.clock.lap("read");
  if (int code = measureThickness(options, run)) return code;
  run.clock.lap("pass");
  run.stageCode = kExitDeckFailed;
  run.stageFailure = "Failure parsing triangles in .ascii file\n";
  if (options.mapsThickness()) {
    if (int code = mapThickness(options, run)) return code;
    run.clock.lap("maps");
  }
  if (int code = writeDeck(inputs, options, run)) return code;
  orientDeck(options.shellNum, run);
  run.clock.lap("deck");
  if (!options.mapsThickness()) {
    flagThickness(options, MeshGraph(run.in.mesh, run.elements, false), run);
    run.clock.lap("flags");
  }
  if (options.sections > 0) {
    run.maps.classes = thicknessClasses(run.elements, run.thickness.get(), options.sections);
  }
  run.stageCode = kExitOutputFailed;
  run.stageFailure = "Failure writing the outputs\n";
  run.finished = true;
  progress.stop();
  if (run.record.keepVertices) run.summary = summarizeThickness(run.thickness.get(), run.record);
  int code = writeExtras(options, run);
  run.clock.lap("outputs");
  if (code == kExitSuccess && options.strict && !run.warnings.empty()) {
    char line[100];
    snprintf(line, sizeof line, "Failure: %zu warning(s) under -strict\n", run.warnings.size());
    printf("%s", line);
    run.failure = failureOf("", line);
    return kExitStrictWarnings;
  }
  return code;
}

// Every output stream of the run, by its option's name without the dash;
// const or not as the options are.
}  // namespace

int runVerdask(InputFiles& inputs, RunOptions& options) {
  // The arrays a run builds take about a third of its input's bytes; with the
  // triangles and their trees, about two thirds.
  prepareHeap(inputBytes(inputs) * (options.toTriangles() ? 2 : 1) / 3);
  printSettings(inputs, options);
  RunState run;
  run.warnings = options.unknownArguments;
  run.threads = options.threads > 0 ? options.threads : machineThreads();
  int code;
  try {
    code = runStages(inputs, options, run);
  } catch (const std::bad_alloc&) {
    // On any thread: the threads have stopped, and the run ends as a failed stage.
    printf("Not enough memory\n%s", run.stageFailure);
    run.failure = failureOf("Not enough memory\n", run.stageFailure);
    code = run.stageCode;
  }
  code = closeOutputs(options, run, code);
  code = commitRun(inputs, options, run, code);
  options.outputs.discard();
  return code;
}

}  // namespace verdask
