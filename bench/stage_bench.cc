// Measures what the benchmark needs beside the tool's own runs:
//
//   stage_bench floor <dataset dir>         the ANN floor: the ANN library alone building the
//                                           two trees and answering one nearest-neighbour query
//                                           per mesh vertex on each
//   stage_bench ties <dataset dir>          how many queries of a run are ties, and how many
//                                           of those went to the ANN library
//   stage_bench annrun <dataset dir> <out>  the pass and the deck with ANN alone answering every
//                                           query, as the tool did before its fast index
//   stage_bench read <surface file>         reading a surface's points and triangles as the tool
//                                           does, by its extension; the best of five
//   stage_bench cgal-read <surface file>    the same with CGAL's polygon soup reader, which
//                                           the tool's own STL and PLY readers replace
//   stage_bench maps <dataset dir> <threads> what the hole and outlier flags cost (reading the
//                                           trabecular triangles beyond its vertices, their
//                                           open edges and rims,
//                                           the mesh's graph, the flags) and -fill and
//                                           -smooth 5, beside the vertex pass; each the best
//                                           of three
//
// Each prints one line of name=value pairs.
#include <ANN/ANN.h>
#include <CGAL/IO/polygon_soup_io.h>
#include <CGAL/Simple_cartesian.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "input/formats.h"
#include "input/readers.h"
#include "output/shell_cards.h"
#include "thickness/hole_flags.h"
#include "thickness/mesh_maps.h"
#include "thickness/nearest_vertex.h"
#include "thickness/thickness_pass.h"

using namespace verdask;

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

FILE* openFile(const std::string& path, const char* mode) {
  FILE* file = fopen(path.c_str(), mode);
  if (!file) {
    perror(path.c_str());
    exit(1);
  }
  return file;
}

struct Inputs {
  ShellMesh mesh;
  PointSet meshPoints;
  SurfaceData cortical, trabecular;
  std::vector<Coord3> normals;
};

// Reads the four inputs as verdask does; false when one does not read.
bool parseInputs(const std::string& dir, Inputs& in) {
  FILE* mesh = openFile(dir + "/mesh.hmascii", "r");
  FILE* cortical = openFile(dir + "/cort.surf", "r");
  FILE* trabecular = openFile(dir + "/trab.surf", "r");
  FILE* normals = openFile(dir + "/norm.vtk", "r");
  const InputFormat& surf = *inputFormatOf("cort.surf", InputRole::kSurface);
  NormalsScan scan;
  bool ok = !readMeshFile(mesh, "mesh.hmascii", *inputFormatOf("mesh.hmascii", InputRole::kMesh),
                          in.mesh) &&
            in.meshPoints.assign(in.mesh.nodes) &&
            !readSurfaceFile(cortical, "cort.surf", surf, TriangleUse::kNone, in.cortical) &&
            !readSurfaceFile(trabecular, "trab.surf", surf, TriangleUse::kNone, in.trabecular) &&
            !scanNormalsFile(normals, "norm.vtk", *inputFormatOf("norm.vtk", InputRole::kNormals),
                             scan) &&
            !takeNormals(scan, in.cortical.points.count(), in.normals);
  for (FILE* file : {mesh, cortical, trabecular, normals}) fclose(file);
  return ok;
}

// Tree builds and one k=1 query per mesh vertex on each tree.
void printFloor(const Inputs& in) {
  double start = now();
  const PointSet &cortical = in.cortical.points, &trabecular = in.trabecular.points;
  ANNkd_tree corticalTree(cortical.points(), cortical.count(), 3, 1, ANN_KD_SUGGEST);
  ANNkd_tree trabecularTree(trabecular.points(), trabecular.count(), 3, 1, ANN_KD_SUGGEST);
  ANNidx index;
  ANNdist distance;
  long long checksum = 0;
  for (int i = 0; i < in.meshPoints.count(); ++i) {
    corticalTree.annkSearch(in.meshPoints.points()[i], 1, &index, &distance, 0.0);
    checksum += index;
    trabecularTree.annkSearch(in.meshPoints.points()[i], 1, &index, &distance, 0.0);
    checksum += index;
  }
  if (checksum < 0) printf("impossible\n");
  printf("floor=%.3f\n", now() - start);
}

void printTies(const Inputs& in) {
  NearestVertex cortical(in.cortical.points, TieRule::kEveryTie, IndexChoice::kFastWithAnnJudge);
  NearestVertex trabecular(in.trabecular.points, TieRule::kDistinctCoordinates,
                           IndexChoice::kFastWithAnnJudge);
  VertexMeasure measure({&in.cortical.points, &cortical}, in.normals.data(),
                        {&in.trabecular.points, &trabecular});
  for (int i = 0; i < in.meshPoints.count(); ++i) measure.at(in.meshPoints.point(i));
  QueryCounts c = cortical.counts(), t = trabecular.counts();
  // Two queries per mesh vertex: its nearest cortical vertex, and that vertex's nearest
  // trabecular one.
  printf("queries=%lld ties=%lld judged=%lld\n", 2LL * in.meshPoints.count(), c.ties + t.ties,
         c.judged + t.judged);
}

// The pass and the deck on one thread with ANN answering every query.
int annRun(Inputs& in, const std::string& out) {
  NearestVertex cortical(in.cortical.points, TieRule::kEveryTie, IndexChoice::kAnnOnly);
  NearestVertex trabecular(in.trabecular.points, TieRule::kEveryTie, IndexChoice::kAnnOnly);
  VertexMeasure measure({&in.cortical.points, &cortical}, in.normals.data(),
                        {&in.trabecular.points, &trabecular});
  int count = in.meshPoints.count();
  std::unique_ptr<float[]> thickness(new float[count]);
  FILE* table = openFile(out + "/table.log", "wb");
  FILE* answers = openFile(out + "/ans.log", "wb");
  FILE* deck = openFile(out + "/out.k", "wb");
  PassRecord record;
  if (calculateValues(table, answers, in.meshPoints, measure, thickness.get(), 0.0, 20.0, 0.0,
                      record, 1) != 0 ||
      writeMeshShellCards(deck, in.mesh, thickness.get(), count, 1, 1, ".hmascii", 1) != 0) {
    return 1;
  }
  for (FILE* file : {table, answers, deck}) fclose(file);
  return 0;
}

// Reads a surface's points and triangles; the seconds it took, or -1.
double readSurfaceOnce(const char* name) {
  FILE* file = openFile(name, "rb");
  double start = now();
  SurfaceData surface;
  Status status = readSurfaceFile(file, name, *inputFormatOf(name, InputRole::kSurface),
                                  TriangleUse::kMeasure, surface);
  double seconds = now() - start;
  fclose(file);
  return status ? -1 : seconds;
}

double readWithCgalOnce(const char* name) {
  double start = now();
  std::vector<CGAL::Simple_cartesian<double>::Point_3> points;
  std::vector<std::vector<size_t>> polygons;
  bool read = CGAL::IO::read_polygon_soup(std::string(name), points, polygons);
  return read ? now() - start : -1;
}

int printRead(const char* name, double (*readOnce)(const char*)) {
  double best = 1e9;
  for (int run = 0; run < 5; ++run) best = std::min(best, readOnce(name));
  if (best < 0) return 1;
  printf("read=%.3f\n", best);
  return 0;
}

// The best of three runs of `work`, in seconds.
template <typename Work>
double bestOfThree(Work work) {
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    double start = now();
    work();
    best = std::min(best, now() - start);
  }
  return best;
}

// The flags' and the maps' stages on a dataset, timed one by one, and the vertex pass.
int printMaps(Inputs& in, const std::string& dir, int threads) {
  FILE* trabecular = openFile(dir + "/trab.surf", "r");
  const InputFormat& surf = *inputFormatOf("trab.surf", InputRole::kSurface);
  std::unique_ptr<SurfaceData> surface;
  auto readWith = [&](TriangleUse use) {
    return bestOfThree([&] {
      rewind(trabecular);
      surface = std::make_unique<SurfaceData>();
      readSurfaceFile(trabecular, "trab.surf", surf, use, *surface);
    });
  };
  // What the triangles add to reading the vertices alone.
  double triangles = -readWith(TriangleUse::kNone);
  triangles += readWith(TriangleUse::kNormals);
  const SurfaceData& read = *surface;
  fclose(trabecular);
  const PointSet& points = read.points;
  const std::vector<int>& corners = read.corners;
  int count = points.count();
  std::vector<OpenEdge> open;
  double edges = bestOfThree([&] { open = openEdgesOf(corners, count); });
  NearestVertex cortical(in.cortical.points, TieRule::kEveryTie, IndexChoice::kFastWithAnnJudge);
  NearestVertex trabecularIndex(in.trabecular.points, TieRule::kDistinctCoordinates,
                                IndexChoice::kFastWithAnnJudge);
  std::unique_ptr<HoleRims> rims;
  double holes = bestOfThree([&] {
    rims = std::make_unique<HoleRims>(points, open, IndexedSurface{&in.cortical.points, &cortical});
  });
  VertexMeasure measure({&in.cortical.points, &cortical}, in.normals.data(),
                        {&in.trabecular.points, &trabecularIndex});
  std::unique_ptr<float[]> thickness(new float[in.meshPoints.count()]);
  FILE* null = openFile("/dev/null", "w");
  PassRecord record;
  double pass = bestOfThree([&] {
    record = PassRecord();
    calculateValues(null, null, in.meshPoints, measure, thickness.get(), 0.0, 20.0, 0.0, record,
                    threads);
  });
  const ShellElements& elements = in.mesh.elements;
  std::unique_ptr<MeshGraph> graph;
  double graphSeconds =
      bestOfThree([&] { graph = std::make_unique<MeshGraph>(in.meshPoints, elements, false); });
  std::vector<Quality> measured = record.quality;
  double flags = bestOfThree([&] {
    record.quality = measured;
    flagHoles(*rims, 0, record, threads);
    flagOutliers(*graph, record.distances, record.quality, threads);
  });
  std::vector<double> values;
  graph = std::make_unique<MeshGraph>(in.meshPoints, elements);
  double fill = bestOfThree([&] {
    values = record.distances;
    std::vector<Quality> quality = record.quality;
    fillFlagged(*graph, values, quality);
  });
  double smooth = bestOfThree([&] { smoothGaussian(*graph, 5.0, values, threads); });
  printf(
      "pass=%.3f triangles=%.3f open_edges=%.3f rims=%.3f graph=%.3f flags=%.3f fill=%.3f "
      "smooth5=%.3f flagged=%d\n",
      pass, triangles, edges, holes, graphSeconds, flags, fill, smooth,
      static_cast<int>(std::count_if(record.quality.begin(), record.quality.end(), isFlagged)));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "read") return printRead(argv[2], readSurfaceOnce);
  if (mode == "cgal-read") return printRead(argv[2], readWithCgalOnce);
  if (mode != "floor" && mode != "ties" && !((mode == "annrun" || mode == "maps") && argc > 3)) {
    fprintf(stderr,
            "usage: stage_bench floor|ties <dataset dir> | annrun <dataset dir> <out> | "
            "maps <dataset dir> <threads> | read|cgal-read <surface file>\n");
    return 2;
  }
  Inputs in;
  if (!parseInputs(argv[2], in)) return 1;
  if (mode == "floor") printFloor(in);
  if (mode == "ties") printTies(in);
  if (mode == "annrun") return annRun(in, argv[3]);
  if (mode == "maps") return printMaps(in, argv[2], atoi(argv[3]));
  return 0;
}
