// The reading stage: the four inputs (and a CT image) read side by side, indexed,
// and reported in the run's order.
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
#include "thickness/thickness_pass.h"
#include "thickness/vertex_normals.h"
namespace verdask {

namespace {

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
  countMeshVertices(in.meshCount);
  return {};
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

}  // namespace

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
        // Read for their open edges alone, they are done with.
        if (trabecularTriangles != TriangleUse::kMeasure) {
          std::vector<int>().swap(in.trabecular.corners);
        }
      }};
  if (!ownNormals) {
    // A normal for every cortical vertex: a file as large as a surface.
    readers.push_back([&] {
      read.normals = scanNormalsFile(files.normals.get(), files.normalsName, *files.normalsFormat,
                                     scan, threads);
    });
  }
  readers.push_back(
      [&] { read.mesh = readMesh(files.mesh.get(), files.meshName, *files.meshFormat, in); });
  if (files.ctName) {
    // The largest file of all: read first.
    readers.insert(readers.begin(), [&] {
      if (readCtImage(files.ctName, in.ct, threads, &read.ctLine) != 0)
        read.ct = {kExitImageFailed, ""};
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

long long inputBytes(const InputFiles& files) {
  long long total = 0;
  for (const FileHandle* file : {&files.mesh, &files.cortical, &files.normals, &files.trabecular}) {
    struct stat info;
    if (file->get() && fstat(fileno(file->get()), &info) == 0) total += info.st_size;
  }
  return total;
}

}  // namespace verdask
