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

// A surface as read, and indexed: its vertices' index and, when a measure
// goes to the triangles, their tree, built as soon as the file is read.
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
struct SurfaceRead {
  FILE* file;
  const char* name;
  const InputFormat* format;
  TriangleUse triangles;  // kMeasure: indexed for closest points too
  bool vertexIndex;       // index the vertices too (else only where no triangle has an area)
  TieRule ties;
};

// Reads a surface and indexes it.
Status readSurface(const SurfaceRead& read, SurfaceInputs& surface) {
  if (Status status =
          readSurfaceFile(read.file, read.name, *read.format, read.triangles, surface)) {
    return status;
  }
  surface.count = surface.points.count();
  if (read.triangles == TriangleUse::kMeasure) {
    surface.triangles = std::make_unique<ClosestPoint>(surface.points, surface.corners);
  }
  if (read.vertexIndex || !surface.triangles || surface.triangles->empty()) {
    surface.vertices =
        std::make_unique<NearestVertex>(surface.points, read.ties, IndexChoice::kFastWithAnnJudge);
  }
  return {};
}

// Reads the mesh: its nodes into the point set, its elements for the deck.
Status readMesh(FILE* file, const char* name, const InputFormat& format, RunInputs& in) {
  if (Status status = readMeshFile(file, name, format, in.ownMesh)) return status;
  if (!in.mesh.assign(in.ownMesh.nodes))
    return readFailure("%s: more nodes than can be held", name);
  std::vector<Coord3>().swap(in.ownMesh.nodes);
  in.meshCount = in.mesh.count();
  runProgress().meshVertices = in.meshCount;
  return {};
}

// The lines a failed stage printed, for the run record: "a; b".
std::string failureOf(const std::string& messages, const char* driverLine) {
  std::string text = messages + driverLine, joined;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    if (end == start) continue;
    if (!joined.empty()) joined += "; ";
    joined.append(text, start, end - start);
  }
  return joined;
}

// Prints a reader's messages and the driver's line after them; false, with
// `failure` set, when it failed.
bool reportReader(const Status& outcome, const std::string& failure, const std::string& success,
                  std::string& failureText) {
  fputs(outcome.message.c_str(), stdout);
  if (outcome) {
    fputs(failure.c_str(), stdout);
    failureText = failureOf(outcome.message, failure.c_str());
    return false;
  }
  fputs(success.c_str(), stdout);
  return true;
}

// How the run's lines name an input: a file of a format of old by the words
// they have always had, the role's word and the extension ("cort.surf").
std::string fileWords(const char* name, const InputFormat& format, const char* roleWord) {
  return format.ofOld ? roleWord + std::string(format.extension) : name;
}

// The count line of a surface, with the polygons split, if any; `file` names
// it as the driver's lines do.
std::string surfaceLine(const std::string& file, const SurfaceInputs& surface) {
  std::string line = "Found " + std::to_string(surface.count) + " vertices in " + file + " file";
  if (surface.splitPolygons > 0) {
    line += ", " + std::to_string(surface.splitPolygons) + " polygons split into triangles";
  }
  return line + "\n";
}

// Computed normals turned outwards: by the volume a closed cortical surface
// encloses, else away from the trabecular surface. A closed surface whose
// outside holds the trabecular surface is a finding: the surfaces are swapped.
void orientComputedNormals(const InputFiles& files, RunInputs& in, int threads,
                           std::string* finding) {
  NormalsTurn turn =
      turnOutwards(files.corticalName, in.cortical.points, in.cortical.corners,
                   in.trabecular.vertices.get(), in.trabecular.points, threads, in.normals);
  if (turn.windsInwards) {
    fprintf(stderr,
            "verdask: the triangles of %s wind inwards: the computed normals turned round\n",
            files.corticalName);
  }
  if (turn.turnedFromOther) {
    fprintf(stderr,
            "verdask: the computed normals pointed towards the trabecular surface: all "
            "turned round\n");
  }
  *finding = turn.finding;
}

// With "-" for the normals: the cortical file's own, or computed from its
// triangles and turned outwards.
Status takeCorticalNormals(const InputFiles& files, RunInputs& in, int threads, std::string* line,
                           std::string* finding) {
  SurfaceInputs& cortical = in.cortical;
  if (!cortical.normals.empty()) {
    in.normals = std::move(cortical.normals);
    *line =
        "Took " + std::to_string(in.normals.size()) + " normals from " + files.corticalName + "\n";
    return {};
  }
  if (cortical.corners.empty()) {
    Status status = readFailure("%s has no triangles to compute normals from", files.corticalName);
    status.message.insert(0, cortical.triangleTrouble);
    return status;
  }
  in.normals = angleWeightedNormals(cortical.points, cortical.corners);
  orientComputedNormals(files, in, threads, finding);
  *line = "Computed " + std::to_string(in.normals.size()) + " normals from the triangles of " +
          files.corticalName + "\n";
  return {};
}

// What the four readers did, for their lines in the run's order.
struct ReaderOutcomes {
  Status mesh, cortical, trabecular, normals, ct;
  std::string normalsLine, ctLine;
};

// Prints the readers' messages and lines in the run's order up to the first
// that failed, counting those that passed; returns 0 or that reader's exit code.
int reportReaders(const InputFiles& files, RunInputs& in, const ReaderOutcomes& read,
                  std::string& failure) {
  std::string mesh = fileWords(files.meshName, *files.meshFormat, "");
  if (!reportReader(
          read.mesh,
          "Failure parsing vertices in " + fileWords(files.meshName, *files.meshFormat, "mesh") +
              " file\n",
          "Used " + std::to_string(in.meshCount) + " vertices in mesh surface " + mesh + " file\n",
          failure)) {
    return kExitMeshFailed;
  }
  ++in.readersPassed;
  bool trabecular = strcmp(files.trabecularName, "-") != 0;  // "-" with -ct
  for (auto [outcome, roleWord, name, format, surface, code] :
       {std::tuple{&read.cortical, "cort", files.corticalName, files.corticalFormat, &in.cortical,
                   kExitCorticalFailed},
        {&read.trabecular, "trab", files.trabecularName, files.trabecularFormat, &in.trabecular,
         kExitTrabecularFailed}}) {
    if (surface == &in.trabecular && !trabecular) continue;
    std::string file = fileWords(name, *format, roleWord);
    if (!reportReader(*outcome, "Failure parsing vertices in " + file + " file\n",
                      surfaceLine(file, *surface), failure)) {
      return code;
    }
    ++in.readersPassed;
  }
  std::string normalsFailure =
      files.normalsFromCortical
          ? std::string("Failure taking normals from ") + files.corticalName + "\n"
          : "Failure parsing normals in norm.vtk file\n";
  if (!reportReader(read.normals, normalsFailure, read.normalsLine, failure)) {
    return kExitNormalsFailed;
  }
  ++in.readersPassed;
  if (files.ctName && !reportReader(read.ct, read.ctLine, read.ctLine, failure)) {
    return kExitImageFailed;
  }
  return kExitSuccess;
}

// Runs the four readers side by side, the larger files first, then prints
// their messages in the run's order; returns 0 or the first failed reader's exit code.
int readInputs(InputFiles& files, bool surfaceMode, RunInputs& in, int threads,
               std::string& failure) {
  ReaderOutcomes read;
  NormalsScan scan;
  bool ownNormals = files.normalsFromCortical;
  TriangleUse corticalTriangles = surfaceMode  ? TriangleUse::kMeasure
                                  : ownNormals ? TriangleUse::kNormals
                                               : TriangleUse::kNone;
  TriangleUse trabecularTriangles = surfaceMode ? TriangleUse::kMeasure : TriangleUse::kNormals;
  std::vector<std::function<void()>> readers = {
      [&] {
        read.cortical = readSurface({files.cortical.get(), files.corticalName, files.corticalFormat,
                                     corticalTriangles, !surfaceMode, TieRule::kEveryTie},
                                    in.cortical);
      },
      [&] {
        if (strcmp(files.trabecularName, "-") == 0) return;  // with -ct
        // Its triangles always: their open edges tell the holes.
        read.trabecular = readSurface(
            {files.trabecular.get(), files.trabecularName, files.trabecularFormat,
             trabecularTriangles, !surfaceMode || ownNormals, TieRule::kDistinctCoordinates},
            in.trabecular);
        if (!read.trabecular) {
          in.trabecularOpenEdges = openEdgesOf(in.trabecular.corners, in.trabecular.count);
        }
      },
      [&] { read.mesh = readMesh(files.mesh.get(), files.meshName, *files.meshFormat, in); }};
  if (!ownNormals) {
    readers.push_back([&] {
      read.normals =
          scanNormalsFile(files.normals.get(), files.normalsName, *files.normalsFormat, scan);
    });
  }
  if (files.ctName) {
    // The largest file of all: read first.
    readers.insert(readers.begin(), [&] {
      if (readCtImage(files.ctName, in.ct, &read.ctLine) != 0) read.ct = {kExitImageFailed, ""};
    });
  }
  runTasks(threads, readers);
  // The normals are checked against the cortical count once it is known.
  read.normalsLine = "Found " + std::to_string(in.cortical.count) + " normals in norm.vtk file\n";
  if (!read.normals && !read.cortical && !read.trabecular) {
    read.normals = ownNormals
                       ? takeCorticalNormals(files, in, threads, &read.normalsLine, &in.finding)
                       : takeNormals(scan, in.cortical.count, in.normals);
    if (!ownNormals && !read.normals) in.finding = compareNormalsPoints(scan, in.cortical.points);
  }
  return reportReaders(files, in, read, failure);
}

long long inputBytes(const InputFiles& files) {
  long long total = 0;
  for (const FileHandle* file : {&files.mesh, &files.cortical, &files.normals, &files.trabecular}) {
    struct stat info;
    if (file->get() && fstat(fileno(file->get()), &info) == 0) total += info.st_size;
  }
  return total;
}

// The wall time of each stage, for the run record.
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
  run.maps.openEdges = static_cast<int>(run.in.trabecularOpenEdges.size());
  if (run.maps.openEdges == 0) return;
  run.holes = std::make_unique<HoleRims>(run.in.trabecular.points, run.in.trabecularOpenEdges,
                                         run.in.cortical.indexed());
  run.maps.rimEdges = run.holes->rimEdges();
  if (run.maps.rimEdges == 0) return;
  fprintf(stderr,
          "verdask: %s is open: %d edges of one triangle, %d of them rims of holes under the "
          "cortical surface\n",
          inputs.trabecularName, run.maps.openEdges, run.maps.rimEdges);
}

// Flagged nodes are counted on stderr; more than this share of them is a warning.
constexpr double kFlaggedShare = 0.01;

void sayFlagged(int count, const char* what, const RunOptions& options, RunState& run) {
  if (count == 0) return;
  std::string line = std::to_string(count) + " of " + std::to_string(run.in.meshCount) + " nodes " +
                     what + (options.fill ? "" : ": -fill replaces their thickness");
  if (count > kFlaggedShare * run.in.meshCount) {
    run.warn(line);
  } else {
    fprintf(stderr, "verdask: %s\n", line.c_str());
  }
}

// The nodes measured through a hole and those that stand out from their
// neighbourhood, flagged in the quality and counted on stderr.
void flagThickness(const RunOptions& options, const MeshGraph& graph, RunState& run) {
  if (run.holes) {
    // Only a ray along the normal passes a hole's cap on its way to what it hits.
    double reach = strcmp(options.measure->name, "normal") == 0 ? options.maxThick : 0;
    run.maps.atHole = flagHoles(*run.holes, reach, run.record, run.threads);
  }
  run.maps.outliers = flagOutliers(graph, run.record.distances, run.record.quality, run.threads);
  run.record.countQualities();
  sayFlagged(run.maps.atHole, "measured through a hole of the trabecular surface (quality at_hole)",
             options, run);
  sayFlagged(run.maps.outliers, "stand out from their neighbourhood (quality outlier)", options,
             run);
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
  std::string messages;
  int status;
  MeshGraph graph(run.in.mesh, run.in.ownMesh.elements);
  flagThickness(options, graph, run);
  run.record.measuredThickness.assign(run.thickness.get(), run.thickness.get() + run.in.meshCount);
  std::vector<double> distances = run.record.distances;
  int flagged = run.maps.atHole + run.maps.outliers;
  if (options.fill && flagged > 0) {
    run.maps.filled = fillFlagged(graph, distances, run.record.quality);
    run.maps.unfilled = flagged - run.maps.filled;
    fprintf(stderr, "verdask: filled the thickness of %d nodes from their neighbours",
            run.maps.filled);
    if (run.maps.unfilled > 0) {
      fprintf(stderr, "; %d without one to fill from kept theirs", run.maps.unfilled);
    }
    fprintf(stderr, "\n");
  }
  if (options.smoothWidth > 0) smoothGaussian(graph, options.smoothWidth, distances, run.threads);
  run.maps.smoothWidth = options.smoothWidth;
  const std::vector<int>& numbers = run.in.ownMesh.elements.nodeNumbers;
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
  enterStage(Stage::kReading, inputBytes(inputs));
  ProgressLine progress;
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
template <typename Options>
auto outputsOf(Options& options) {
  std::vector<std::pair<const char*, decltype(&options.answers)>> outputs = {
      {"ans", &options.answers},
      {"table", &options.table},
      {"o", &options.keyword},
      {"json", &options.json}};
  for (int k = 0; k < kExtraOutputCount; ++k) {
    outputs.emplace_back(kExtraOutputs[k].option + 1, &options.extras[k]);
  }
  return outputs;
}

// The path, size and SHA-256 of each file, read on the run's threads from
// where it stands now: an output not yet in place from its temporary file.
void digestFiles(std::vector<RecordedFile>& files, const OutputSet& outputs, int threads) {
  std::vector<std::function<void()>> digests;
  for (RecordedFile& file : files) {
    digests.push_back([&file, &outputs] {
      file.sha256 = sha256OfFile(outputs.pendingPath(file.path), &file.bytes);
    });
  }
  runTasks(threads, digests);
}

// The counts and figures of the stages that ran.
void countsOf(const RunState& run, RunFacts& facts) {
  // A reader's count stands only once it, and the readers reported before it, succeeded.
  if (run.in.readersPassed > 0) facts.meshVertices = run.in.meshCount;
  if (run.in.readersPassed > 1) facts.corticalVertices = run.in.cortical.count;
  if (run.in.readersPassed > 2) facts.trabecularVertices = run.in.trabecular.count;
  if (!run.record.meshToCortical.empty()) facts.lineUp = &run.lineUp;
  if (!run.finished) return;
  facts.triangles = run.elements.count();
  facts.inwardElements = run.orientation.inwardCount;
  facts.unorientedElements = static_cast<int>(run.orientation.undecided.size());
  facts.thickness = &run.summary;
  facts.pass = &run.record;
  facts.maps = &run.maps;
}

// The record a failed run replaces, whose last complete run it carries on.
std::string earlierRecord(const RunOptions& options) {
  struct stat info;
  const std::string& name = options.json.name();
  // Only a record is worth reading: a large file is something else.
  if (stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > (1 << 24)) {
    return "";
  }
  std::string text(info.st_size, '\0');
  FILE* file = fopen(name.c_str(), "rb");
  if (!file) return "";
  text.resize(fread(text.data(), 1, text.size(), file));
  fclose(file);
  return text;
}

// The run record's facts; the inputs and the outputs are read again for their digests.
RunFacts recordOf(const InputFiles& inputs, const RunOptions& options, const RunState& run,
                  int code) {
  RunFacts facts;
  facts.build = buildInfo();
  facts.where = whereabouts();
  facts.commandLine = options.commandLine;
  facts.options = {options.adjThick,
                   options.maxThick,
                   options.minThick,
                   options.shellNum,
                   options.shellVal,
                   run.threads,
                   options.summary,
                   options.toTriangles(),
                   options.strict,
                   options.measure->name,
                   {},
                   options.fill,
                   options.smoothWidth,
                   options.sections};
  for (const auto& [option, file] : outputsOf(options)) {
    facts.options.outputs.emplace_back(option, file->name());
    if (code == kExitSuccess && !file->name().empty() && file != &options.json) {
      facts.outputs.push_back({option, file->name(), 0, ""});
    }
  }
  for (const auto& [role, path] : {std::pair{"mesh", inputs.meshName},
                                   {"cortical", inputs.corticalName},
                                   {"normals", inputs.normalsName},
                                   {"trabecular", inputs.trabecularName},
                                   {"ct", inputs.ctName}}) {
    if (path && strcmp(path, "-") != 0) facts.inputs.push_back({role, path, 0, ""});
  }
  digestFiles(facts.inputs, options.outputs, run.threads);
  digestFiles(facts.outputs, options.outputs, run.threads);
  facts.exitCode = code & 0xff;  // as the shell sees it: -2 is 254
  facts.failure = run.failure;
  facts.warnings = run.warnings;
  if (code != kExitSuccess) facts.lastCompleteRun = lastCompleteRunOf(earlierRecord(options));
  countsOf(run, facts);
  if (run.ct.sigma > 0) facts.ct = {&run.in.ct, run.ct, options.ctRas ? "ras" : "lps"};
  facts.stageSeconds = run.clock.laps();
  return facts;
}

// Closes every output but the record; the exit code, with a write failure.
int closeOutputs(RunOptions& options, RunState& run, int code) {
  bool written = true;
  for (const auto& [option, file] : outputsOf(options)) {
    if (file->get() && file != &options.json) written = fclose(file->release()) == 0 && written;
  }
  if (!written && code == kExitSuccess) {
    const char* failure = "Failure writing the outputs\n";
    printf("%s", failure);
    run.failure = failureOf("", failure);
    code = kExitOutputFailed;
  }
  return code;
}

// Writes the record of the run, successful or not, beside its final name;
// false when it could not be written.
bool writeRecord(const InputFiles& inputs, RunOptions& options, const RunState& run, int code) {
  bool written = writeRunRecord(options.json.get(), recordOf(inputs, options, run, code)) == 0;
  return fclose(options.json.release()) == 0 && written;
}

// Puts the run in place: every output and the record when it succeeded, the
// record alone when it failed. Everything is complete before the first
// rename, so a record that cannot be written replaces nothing. Returns the
// exit code.
int commitRun(const InputFiles& inputs, RunOptions& options, RunState& run, int code) {
  const char* failure = nullptr;
  bool recorded = !options.json.get() || writeRecord(inputs, options, run, code);
  if (!recorded) {
    failure = "Failure writing the run record\n";
  } else if (code == kExitSuccess) {
    if (!options.outputs.commitAll(options.json.name().c_str()))
      failure = "Failure moving the outputs into place\n";
  } else if (!options.json.name().empty() && !options.outputs.commit(options.json.name().c_str())) {
    failure = "Failure writing the run record\n";
  }
  if (!failure) return code;
  printf("%s", failure);
  return code == kExitSuccess ? kExitOutputFailed : code;
}

}  // namespace

int recordFailedStart(InputFiles& inputs, RunOptions& options, int code,
                      const std::string& failure) {
  RunState run;
  run.failure = failure;
  run.warnings = options.unknownArguments;
  if (options.json.get()) commitRun(inputs, options, run, code);
  options.outputs.discard();
  return code;
}

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
