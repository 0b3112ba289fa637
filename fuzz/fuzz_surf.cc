#include <vector>

#include "fuzz_input.h"
#include "input/readers.h"

using namespace verdask;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* surf = memoryFile(data, size);
  if (!surf) return 0;
  PointSet points;
  int count;
  std::vector<int> corners;
  if (parseSurfVertices(surf, points, count) == 0) {
    parseSurfTriangles(surf, "fuzz.surf", count, corners);
  }
  fclose(surf);
  return 0;
}
