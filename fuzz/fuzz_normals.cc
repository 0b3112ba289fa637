// The normals reader, with a count from the input's first byte, and the check
// of the file's POINTS against as many vertices along x.
#include <string_view>
#include <vector>

#include "input/readers.h"

using namespace verdask;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int count = 1 + data[0];
  NormalsScan scan;
  std::vector<Coord3> normals;
  if (scanNormals(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), scan)) {
    return 0;
  }
  PointSet vertices;
  if (!takeNormals(scan, count, normals) && vertices.resize(count)) {
    for (int k = 0; k < 3 * count; ++k) vertices.coords()[k] = k % 3 == 0 ? k / 3 : 0;
    compareNormalsPoints(scan, vertices);
  }
  return 0;
}
