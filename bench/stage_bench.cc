// Times each stage of a verdask run on one dataset, and the floor: what the
// ANN library alone takes to build the two trees and answer one nearest-
// neighbour query per mesh vertex on each.
//
//   stage_bench floor <dataset dir>   read, parse, tree builds and the floor
//   stage_bench run <dataset dir>     parse, the pass (trees included) and the deck
//
// Each prints one line of name=seconds pairs. The two run in separate
// processes so that both build their trees on a fresh heap.
#include <ANN/ANN.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "io/readers.h"
#include "output/shell_cards.h"
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

// The cost of bringing the input bytes in, with nothing done to them.
double readSeconds(const std::string& dir) {
  double start = now();
  std::unique_ptr<char[]> block(new char[1 << 20]);
  for (const char* name : {"mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf"}) {
    FILE* file = openFile(dir + "/" + name, "rb");
    while (fread(block.get(), 1, 1 << 20, file) > 0) {
    }
    fclose(file);
  }
  return now() - start;
}

// Tree builds and one k=1 query per mesh vertex on each tree.
double floorSeconds(const PointSet& mesh, const PointSet& cortical, const PointSet& trabecular,
                    double* buildSeconds) {
  double start = now();
  ANNkd_tree corticalTree(cortical.points(), cortical.count(), 3, 1, ANN_KD_SUGGEST);
  ANNkd_tree trabecularTree(trabecular.points(), trabecular.count(), 3, 1, ANN_KD_SUGGEST);
  *buildSeconds = now() - start;
  ANNidx index;
  ANNdist distance;
  long long checksum = 0;
  for (int i = 0; i < mesh.count(); ++i) {
    corticalTree.annkSearch(mesh.points()[i], 1, &index, &distance, 0.0);
    checksum += index;
    trabecularTree.annkSearch(mesh.points()[i], 1, &index, &distance, 0.0);
    checksum += index;
  }
  if (checksum < 0) printf("impossible\n");
  return now() - start;
}

struct Inputs {
  FILE* files[4];
  PointSet mesh, cortical, trabecular;
  int meshCount, corticalCount, trabecularCount;
  std::unique_ptr<Coord3[]> normals;
  double seconds;
};

// Reads the four inputs as verdask does; false when one does not read.
bool parseInputs(const std::string& dir, Inputs& in) {
  const char* names[] = {"mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf"};
  for (int i = 0; i < 4; ++i) in.files[i] = openFile(dir + "/" + names[i], "r");
  double start = now();
  bool ok = parseMeshVertices(in.files[0], in.mesh, in.meshCount) == 0 &&
            parseSurfVertices(in.files[1], in.cortical, in.corticalCount) == 0 &&
            parseSurfVertices(in.files[3], in.trabecular, in.trabecularCount) == 0 &&
            parseNormals(in.files[2], in.corticalCount, in.normals) == 0;
  in.seconds = now() - start;
  return ok;
}

// The pass (trees included) and the deck, on a fresh heap as in a real run.
int timeRun(Inputs& in) {
  std::unique_ptr<float[]> thickness(new float[in.meshCount]);
  FILE* table = openFile("/tmp/stage_bench.table.log", "wb");
  FILE* answers = openFile("/tmp/stage_bench.ans.log", "wb");
  FILE* deck = openFile("/tmp/stage_bench.out.k", "wb");
  double start = now();
  if (calculateValues(table, answers, in.mesh, in.cortical, in.trabecular, in.normals.get(),
                      thickness.get(), 0.0, 20.0, 0.0)) {
    return 1;
  }
  double pass = now() - start;
  start = now();
  if (writeShellCards(in.files[0], deck, thickness.get(), in.meshCount, 1, 1)) return 1;
  double cards = now() - start;
  printf("parse=%.3f pass=%.3f deck=%.3f\n", in.seconds, pass, cards);
  for (FILE* file : {table, answers, deck}) fclose(file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (argc < 3 || (mode != "floor" && mode != "run")) {
    fprintf(stderr, "usage: stage_bench floor|run <dataset dir>\n");
    return 2;
  }
  std::string dir = argv[2];
  double read = mode == "floor" ? readSeconds(dir) : 0.0;
  Inputs in;
  if (!parseInputs(dir, in)) return 1;
  if (mode == "run") return timeRun(in);
  double trees;
  double floor = floorSeconds(in.mesh, in.cortical, in.trabecular, &trees);
  printf("read=%.3f parse=%.3f trees=%.3f floor=%.3f\n", read, in.seconds, trees, floor);
  return 0;
}
