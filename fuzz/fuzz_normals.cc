// The normals reader, with a count from the input's first byte.
#include <memory>

#include "fuzz_input.h"
#include "io/readers.h"

using namespace verdask;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FILE* vtk = memoryFile(data + 1, size - 1);
  if (!vtk) return 0;
  std::vector<Coord3> normals;
  parseNormals(vtk, 1 + data[0], normals);
  fclose(vtk);
  return 0;
}
