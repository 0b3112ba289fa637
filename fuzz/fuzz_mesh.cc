// The mesh reader and then the keyword writer on what it leaves in the stream.
#include <vector>

#include "fuzz_input.h"
#include "input/readers.h"
#include "output/shell_cards.h"

using namespace verdask;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* mesh = memoryFile(data, size);
  if (!mesh) return 0;
  PointSet points;
  int count;
  if (parseMeshVertices(mesh, points, count) == 0) {
    std::vector<float> thickness(count, 1.5f);
    FILE* deck = fopen("/dev/null", "wb");
    writeShellCards(mesh, deck, thickness.data(), count, 1, 1);
    fclose(deck);
  }
  fclose(mesh);
  return 0;
}
