// One file reader of the input formats, chosen by the build (FUZZ_READER), on
// any bytes; a mesh reader's mesh then goes through the deck writer.
#include <string>
#include <string_view>
#include <vector>

#include "base/report.h"
#include "input/formats.h"
#include "input/polygon_soup.h"
#include "output/shell_cards.h"

using namespace verdask;

namespace {

[[maybe_unused]] void readAs(SoupReader reader, std::string_view data) {
  PolygonSoup soup;
  std::vector<int> triangles;
  if (!reader(data, "fuzz", soup) && !checkSoup(soup, "fuzz")) triangulate(soup, triangles);
}

[[maybe_unused]] void readAs(SurfaceReader reader, std::string_view data) {
  SurfaceData surface;
  reader(data, "fuzz", TriangleUse::kMeasure, surface);
}

[[maybe_unused]] void readAs(MeshReader reader, std::string_view data) {
  ShellMesh mesh;
  if (reader(data, "fuzz", mesh)) return;
  std::vector<float> thickness(mesh.nodes.size(), 1.5f);
  FILE* deck = fopen("/dev/null", "wb");
  writeMeshShellCards(deck, mesh, thickness.data(), static_cast<int>(mesh.nodes.size()), 1, 1,
                      "fuzz", 1);
  fclose(deck);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string messages;
  ReportCapture capture(&messages);
  readAs(FUZZ_READER, std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
