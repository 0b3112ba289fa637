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

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "read") return printRead(argv[2], readSurfaceOnce);
  if (mode == "cgal-read") return printRead(argv[2], readWithCgalOnce);
  if (mode != "floor" && mode != "ties" && !(mode == "annrun" && argc > 3)) {
    fprintf(stderr,
            "usage: stage_bench floor|ties <dataset dir> | annrun <dataset dir> <out> | "
            "read|cgal-read <surface file>\n");
    return 2;
  }
  Inputs in;
  if (!parseInputs(argv[2], in)) return 1;
  if (mode == "floor") printFloor(in);
  if (mode == "ties") printTies(in);
  if (mode == "annrun") return annRun(in, argv[3]);
  return 0;
}
