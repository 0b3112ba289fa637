#include "session.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>
#include <functional>
#include <utility>

#include "app/exit_status.h"
#include "base/parallel.h"
#include "base/report.h"
#include "input/formats.h"
#include "input/polygon_soup.h"
#include "input/readers.h"
#include "input/scan.h"
#include "input/whole_input.h"
#include "output/class_sections.h"
#include "output/nodal_table.h"
#include "output/shell_cards.h"
#include "output/thickness_view.h"
#include "thickness/closest_point.h"
#include "thickness/line_up.h"
#include "thickness/measure.h"
#include "thickness/nearest_vertex.h"
#include "thickness/pass_findings.h"
#include "thickness/thickness_maps.h"
#include "thickness/vertex_normals.h"

namespace verdask {

ToolError::ToolError(const std::string& lines, int code)
    : std::runtime_error(lines.substr(0, lines.find_last_not_of('\n') + 1)), status_(code & 0xff) {}

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

// Opens an input as the tool does: a regular file in place, a pipe or .gz file read whole.
File openInputFile(const char* name, const InputFormat& format, InputRole role) {
  std::string messages;
  FILE* file;
  {
    ReportCapture capture(&messages);
    file = openInput(name, {kDefaultInputLimitMiB, isTextInput(format, role)});
  }
  if (!file) throw ToolError(messages, kExitOpenFailed);
  return File(file, fclose);
}

const InputFormat& formatOf(const char* name, InputRole role) {
  if (const InputFormat* format = inputFormatOf(name, role)) return *format;
  throw ToolError("Unknown file type of " + std::string(name) + ": the " +
                      (role == InputRole::kMesh ? "mesh" : "surface") + " may be " +
                      supportedExtensions(role),
                  kExitUsage);
}

// Runs a step with its messages captured; throws them with the driver's line when it fails.
void runReader(const std::function<int()>& step, const std::string& failureLine, int code) {
  std::string messages;
  int status;
  {
    ReportCapture capture(&messages);
    status = step();
  }
  if (status != 0) throw ToolError(messages + failureLine, code);
}

// Throws a failed reader's lines with the driver's line after them.
void check(const Status& status, const std::string& failureLine, int code) {
  if (status) throw ToolError(status.message + failureLine, code);
}

std::vector<Coord3> pointsOf(const PointSet& set) {
  const Coord3* first = reinterpret_cast<const Coord3*>(set.coords());
  return std::vector<Coord3>(first, first + set.count());
}

}  // namespace

std::shared_ptr<Mesh> readMeshAt(const std::string& path) {
  const char* name = path.c_str();
  const InputFormat& format = formatOf(name, InputRole::kMesh);
  File file = openInputFile(name, format, InputRole::kMesh);
  auto mesh = std::make_shared<Mesh>();
  mesh->name = path;
  check(readMeshFile(file.get(), name, format, mesh->shell),
        "Failure parsing vertices in " + fileWords(name, format, "mesh") + " file\n",
        kExitMeshFailed);
  // What the tool tells at its deck stage is told here, the elements being read now.
  check(mesh->shell.elementFailure, "Failure parsing triangles in .ascii file\n", kExitDeckFailed);
  return mesh;
}

std::shared_ptr<Surface> readSurfaceAt(const std::string& path) {
  const char* name = path.c_str();
  const InputFormat& format = formatOf(name, InputRole::kSurface);
  File file = openInputFile(name, format, InputRole::kSurface);
  auto surface = std::make_shared<Surface>();
  surface->name = path;
  surface->oldFormat = format.ofOld;
  std::string failure =
      "Failure parsing vertices in " + fileWords(name, format, "cort") + " file\n";
  // Read as a measure to the triangles reads it; where that fails, the vertices
  // alone may still serve the vertex measure, and the trouble waits to be told.
  SurfaceData measured, alone;
  Status trouble = readSurfaceFile(file.get(), name, format, TriangleUse::kMeasure, measured);
  SurfaceData& data = trouble ? alone : measured;
  if (trouble) {
    surface->triangleTrouble = trouble.message;
    rewind(file.get());
    check(readSurfaceFile(file.get(), name, format, TriangleUse::kNormals, alone), failure,
          kExitCorticalFailed);
    surface->trianglesWithoutTrouble = alone.triangleTrouble.empty();
  }
  if (data.points.count() == 0) {
    throw ToolError(path + ": no points, or more than can be held\n" + failure,
                    kExitCorticalFailed);
  }
  surface->points = pointsOf(data.points);
  surface->triangles = std::move(data.corners);
  surface->normals = std::move(data.normals);
  return surface;
}

namespace {

// A surface as the pass uses it: its points, and the indexes its measure needs.
struct IndexedInput {
  PointSet points;
  std::vector<int> corners;
  std::unique_ptr<NearestVertex> vertices;
  std::unique_ptr<ClosestPoint> triangles;

  IndexedSurface indexed() const { return {&points, vertices.get(), &corners, triangles.get()}; }
};

// How a surface is indexed, and how its failure ends the run.
struct IndexRole {
  const char* oldName;  // a .surf file's name in the driver's lines
  int code;
  TieRule ties;
  bool vertexIndex;  // index the vertices too (else only where no triangle has an area)
};

std::string fileLineName(const Surface& surface, const char* oldName) {
  return surface.oldFormat ? oldName : surface.name;
}

// Indexes a surface as the tool's readers do once the file is read.
void indexSurface(const Surface& surface, bool toTriangles, const IndexRole& role,
                  IndexedInput& input) {
  std::string failure =
      "Failure parsing vertices in " + fileLineName(surface, role.oldName) + " file\n";
  if (toTriangles && !surface.triangleTrouble.empty()) {
    throw ToolError(surface.triangleTrouble + failure, role.code);
  }
  if (!input.points.assign(surface.points)) {
    throw ToolError(surface.name + ": no points, or more than can be held\n" + failure, role.code);
  }
  if (toTriangles) {
    input.corners = surface.triangles;
    check(checkTriangleWidths(input.points, input.corners, surface.name.c_str()), failure,
          role.code);
    input.triangles = std::make_unique<ClosestPoint>(input.points, input.corners);
  }
  if (role.vertexIndex || !input.triangles || input.triangles->empty()) {
    input.vertices =
        std::make_unique<NearestVertex>(input.points, role.ties, IndexChoice::kFastWithAnnJudge);
  }
}

// Normals computed from the cortical triangles and turned outwards, as for "-".
std::vector<Coord3> computedNormals(const Surface& cortical, const IndexedInput& corticalInput,
                                    const IndexedInput& trabecularInput, int threads,
                                    std::string* finding) {
  const char* name = cortical.name.c_str();
  if (cortical.triangles.empty()) {
    // A .surf file without triangles has nothing wrong with them to tell.
    throw ToolError((cortical.trianglesWithoutTrouble ? "" : cortical.triangleTrouble) + name +
                        " has no triangles to compute normals from\nFailure taking normals "
                        "from " +
                        name + "\n",
                    kExitNormalsFailed);
  }
  std::vector<Coord3> normals = angleWeightedNormals(corticalInput.points, cortical.triangles);
  *finding = turnOutwards(name, corticalInput.points, cortical.triangles,
                          trabecularInput.vertices.get(), trabecularInput.points, threads, normals)
                 .finding;
  return normals;
}

// The cortical normals, and a finding when the inputs plainly do not fit together.
std::vector<Coord3> normalsFor(const NormalsSource& source, const Surface& cortical,
                               const IndexedInput& corticalInput,
                               const IndexedInput& trabecularInput, int threads,
                               std::string* finding) {
  if (source.kind == NormalsSource::kGiven) return source.given;
  if (source.kind == NormalsSource::kOwn && !cortical.normals.empty()) return cortical.normals;
  if (source.kind == NormalsSource::kOwn) {
    return computedNormals(cortical, corticalInput, trabecularInput, threads, finding);
  }
  const char* name = source.path.c_str();
  const InputFormat& format = formatOf(name, InputRole::kNormals);
  File file = openInputFile(name, format, InputRole::kNormals);
  NormalsScan scan;
  std::vector<Coord3> normals;
  Status status = scanNormalsFile(file.get(), name, format, scan);
  if (!status) status = takeNormals(scan, corticalInput.points.count(), normals);
  check(status, "Failure parsing normals in norm.vtk file\n", kExitNormalsFailed);
  *finding = compareNormalsPoints(scan, corticalInput.points);
  return normals;
}

// What the run builds beside the result.
struct RunInputs {
  IndexedInput cortical, trabecular;
  std::vector<Coord3> normals;
  Result& result;

  void warn(const std::string& text) {
    if (!text.empty()) result.warnings.push_back(text);
  }
  // Inputs that plainly do not fit together end the run, unless forced.
  void refuse(const std::string& finding) {
    if (finding.empty()) return;
    if (result.options.force) return warn(finding);
    throw ToolError("Refused: " + finding + " (-force writes the outputs anyway)\n",
                    kExitInputsRefused);
  }
};

// Both surfaces indexed side by side, then the normals; refuses what the readers found.
void prepareSurfaces(const Surface& cortical, const Surface& trabecular,
                     const NormalsSource& normals, RunInputs& in) {
  bool toTriangles = in.result.options.measure->toTriangles;
  bool computed = normals.kind == NormalsSource::kOwn;
  struct IndexTask {
    const Surface& surface;
    IndexRole role;
    IndexedInput& input;
    std::exception_ptr failure;
  } tasks[] = {{cortical,
                {"cort.surf", kExitCorticalFailed, TieRule::kEveryTie, !toTriangles},
                in.cortical,
                nullptr},
               {trabecular,
                {"trab.surf", kExitTrabecularFailed, TieRule::kDistinctCoordinates,
                 !toTriangles || computed},
                in.trabecular,
                nullptr}};
  // Side by side; a failure of the cortical surface is told before the trabecular's.
  std::vector<std::function<void()>> work;
  for (IndexTask& task : tasks) {
    work.push_back([&task, toTriangles] {
      try {
        indexSurface(task.surface, toTriangles, task.role, task.input);
      } catch (...) {
        task.failure = std::current_exception();
      }
    });
  }
  runTasks(in.result.threads, work);
  for (const IndexTask& task : tasks) {
    if (task.failure) std::rethrow_exception(task.failure);
  }
  std::string finding;
  in.normals =
      normalsFor(normals, cortical, in.cortical, in.trabecular, in.result.threads, &finding);
  in.refuse(finding);
}

// The mesh's own numbers stand unless -num or -val is given; its decks' parts settled.
void settleElements(Result& result) {
  const ShellMesh& mesh = result.mesh->shell;
  const MeasureOptions& options = result.options;
  if (!result.nodes.assign(mesh.nodes)) {
    throw ToolError(result.mesh->name +
                        ": more nodes than can be held\nFailure parsing vertices "
                        "in " +
                        result.mesh->name + " file\n",
                    kExitMeshFailed);
  }
  result.elements = mesh.elements;
  if (options.numGiven) result.elements.numbers.clear();
  if (options.valGiven) result.elements.parts.clear();
  for (int& part : result.elements.parts) {
    if (part < 0) part = options.val;
  }
  result.warnings.insert(result.warnings.end(), mesh.warnings.begin(), mesh.warnings.end());
  runReader(
      [&] {
        return deckPartsOf(result.elements, mesh.partNames, options.given, options.partMaterials,
                           &result.deckParts);
      },
      "", kExitOutputFailed);
}

std::unique_ptr<Measure> measureOf(const MeasureOptions& options, const RunInputs& in) {
  return options.measure->make(
      {in.cortical.indexed(), in.normals.data(), in.trabecular.indexed(), options.max});
}

// The pass, its logs to nowhere: the result keeps every value they hold.
void runPass(RunInputs& in) {
  Result& result = in.result;
  const MeasureOptions& options = result.options;
  result.record.keepVertices = true;
  result.record.deferLogs = options.mapsThickness();
  result.thickness.resize(result.nodes.count());
  File logs(fopen("/dev/null", "w"), fclose);
  if (!logs) throw ToolError("Failure opening file /dev/null\n", kExitOpenFailed);
  std::unique_ptr<Measure> measure = measureOf(options, in);
  const std::vector<int>& numbers = result.elements.nodeNumbers;
  runReader(
      [&] {
        return calculateValues(logs.get(), logs.get(), result.nodes, *measure,
                               result.thickness.data(), options.adj, options.max, options.min,
                               result.record, result.threads,
                               numbers.empty() ? nullptr : numbers.data());
      },
      "Failure calculating values\n", kExitPassFailed);
}

// What the pass tells of the inputs: refused, warned of, or, for the complete
// decks, kept to refuse them.
void reportPassFindings(RunInputs& in) {
  Result& result = in.result;
  PassFindings found =
      judgePass(result.record, result.thickness.data(), result.nodes, in.cortical.indexed(),
                in.trabecular.indexed(), result.options.measure->toTriangles, result.threads);
  if (found.plain.empty()) result.deckFinding = found.deckPlain;
  in.refuse(found.plain);
  for (const std::string& warning : found.warnings) in.warn(warning);
}

// The flags, and -fill and -smooth after them, as the tool's run has them;
// with either, the thickness settled again from the distances they give.
void mapThickness(const Surface& trabecular, RunInputs& in) {
  Result& result = in.result;
  const MeasureOptions& options = result.options;
  std::unique_ptr<HoleRims> rims = holeRimsOf(
      in.trabecular.points, openEdgesOf(trabecular.triangles, in.trabecular.points.count()),
      in.cortical.indexed(), result.maps);
  MeshGraph graph(result.nodes, result.elements, options.mapsThickness());
  flagNodes(rims.get(), *options.measure, options.max, graph, result.record, result.threads,
            result.maps);
  for (const FlaggedLine& line : flaggedLines(result.maps, result.nodes.count(), options.fill)) {
    if (line.warning) in.warn(line.text);
  }
  if (options.mapsThickness()) {
    result.record.measuredThickness.assign(result.thickness.begin(), result.thickness.end());
    std::vector<double> distances = mappedDistances(graph, options.fill, options.smooth,
                                                    result.record, result.threads, result.maps);
    File logs(fopen("/dev/null", "w"), fclose);
    if (!logs) throw ToolError("Failure opening file /dev/null\n", kExitOpenFailed);
    const std::vector<int>& numbers = result.elements.nodeNumbers;
    runReader(
        [&] {
          return settleThickness(logs.get(), logs.get(), distances, result.thickness.data(),
                                 options.adj, options.max, options.min, result.record,
                                 result.threads, numbers.empty() ? nullptr : numbers.data());
        },
        "Failure calculating values\n", kExitPassFailed);
  }
  if (options.sections > 0) {
    result.maps.classes =
        thicknessClasses(result.elements, result.thickness.data(), options.sections);
  }
}

}  // namespace

std::unique_ptr<Result> measureMesh(std::shared_ptr<Mesh> mesh, const Surface& cortical,
                                    const Surface& trabecular, const NormalsSource& normals,
                                    const MeasureOptions& options) {
  auto result = std::make_unique<Result>();
  result->mesh = std::move(mesh);
  result->options = options;
  result->threads = options.threads > 0 ? options.threads : machineThreads();
  RunInputs in{{}, {}, {}, *result};
  prepareSurfaces(cortical, trabecular, normals, in);
  settleElements(*result);
  runPass(in);
  reportPassFindings(in);
  mapThickness(trabecular, in);
  result->orientation = orientElements(result->nodes, result->elements, result->record.normals);
  for (const std::string& warning :
       undecidedWarnings(result->orientation, result->elements, options.num)) {
    in.warn(warning);
  }
  if (options.strict && !result->warnings.empty()) {
    std::string lines;
    for (const std::string& warning : result->warnings)
      lines += "verdask: warning: " + warning + "\n";
    throw ToolError(lines + "Failure: " + std::to_string(result->warnings.size()) +
                        " warning(s) under -strict\n",
                    kExitStrictWarnings);
  }
  return result;
}

namespace {

// A writer's failure said as the tool says it; its code.
int reported(const Status& status) {
  report("%s", status.message.c_str());
  return status.code;
}

// Opens an output straight under its name; writes it with `write`, whose
// failure ends as the tool's stage does.
void writeOutput(const std::string& path, const std::function<int(FILE*)>& write,
                 const std::string& failureLine, int code) {
  File file(fopen(path.c_str(), "wb"), fclose);
  if (!file) throw ToolError("Failure opening file " + path + "\n", kExitOpenFailed);
  runReader([&] { return write(file.get()); }, failureLine, code);
  if (fclose(file.release()) != 0) throw ToolError("Failure writing the outputs\n", code);
}

}  // namespace

void writeKeyword(const Result& result, const std::string& path) {
  const MeasureOptions& options = result.options;
  writeOutput(
      path,
      [&](FILE* file) {
        ShellMesh deck;
        deck.elements = result.elements;
        return writeMeshShellCards(file, deck, result.thickness.data(), result.nodes.count(),
                                   options.num, options.val, result.mesh->name.c_str(),
                                   result.threads);
      },
      "Failure parsing triangles in .ascii file\n", kExitDeckFailed);
}

namespace {

// A complete deck faces its elements by the normals: refused when most point
// inwards. With sections, its elements go to their classes' parts.
void writeCompleteDeck(const Result& result, const std::string& path, const char* dialect,
                       DeckNames& names,
                       const std::function<int(FILE*, const ShellElements&)>& write) {
  if (!result.deckFinding.empty() && !result.options.force) {
    throw ToolError("Refused: " + result.deckFinding + " (-force writes the outputs anyway)\n",
                    kExitInputsRefused);
  }
  ShellElements outward = facingOutwards(result.elements, result.orientation);
  if (result.options.sections > 0) sectionByClass(result.maps.classes, outward, names);
  writeOutput(
      path, [&](FILE* file) { return write(file, outward); },
      std::string("Failure writing the ") + dialect + " deck\n", kExitOutputFailed);
}

DeckNames deckNamesOf(const Result& result, const std::vector<std::string>& commandLine) {
  DeckNames names;
  names.comment = "verdask " VERDASK_VERSION ":";
  for (const std::string& word : commandLine) names.comment += " " + word;
  names.parts = result.deckParts;
  names.firstElement = result.options.num;
  return names;
}

}  // namespace

void writeAbaqus(const Result& result, const std::string& path,
                 const std::vector<std::string>* commandLine) {
  DeckNames names = deckNamesOf(result, commandLine ? *commandLine : result.options.commandLine);
  writeCompleteDeck(result, path, "Abaqus", names, [&](FILE* file, const ShellElements& outward) {
    return reported(writeAbaqusDeck(file, result.nodes, outward, result.thickness.data(), names));
  });
}

void writeDyna(const Result& result, const std::string& path) {
  DeckNames names = deckNamesOf(result, result.options.commandLine);
  writeCompleteDeck(result, path, "LS-DYNA", names, [&](FILE* file, const ShellElements& outward) {
    return reported(
        writeDynaDeck(file, result.nodes, outward, result.thickness.data(), names, result.threads));
  });
}

void writeNodal(const Result& result, const std::string& path) {
  writeOutput(
      path,
      [&](FILE* file) {
        return reported(writeNodalThickness(file, result.thickness.data(), result.nodes.count(),
                                            result.elements));
      },
      "Failure writing the nodal thickness table\n", kExitOutputFailed);
}

void writeView(const Result& result, const std::string& path) {
  writeOutput(
      path,
      [&](FILE* file) {
        return reported(writeThicknessView(file, viewFormatOf(path), result.nodes, result.elements,
                                           result.thickness.data(), result.record));
      },
      "Failure writing the VTK file\n", kExitOutputFailed);
}

}  // namespace verdask
