// STL: binary (50 bytes per facet) or ASCII ("facet ... vertex x y z ...").
#include <string_view>
#include <vector>

#include "input/formats.h"
#include "input/polygon_soup.h"
#include "input/scan.h"

namespace verdask {

namespace {

constexpr size_t kHeaderBytes = 84;
constexpr size_t kFacetBytes = 50;

int readBinaryStl(std::string_view data, const char* name, std::vector<Coord3>& cornerPoints) {
  uint32_t facets = loadValue<uint32_t>(data.data() + 80, false);
  if (facets > kMostPolygons)
    return readFailure("%s: %u facets are more than can be read", name, facets);
  if (kHeaderBytes + kFacetBytes * facets != data.size()) {
    return readFailure("%s: binary STL of %u facets needs %llu bytes, the file has %zu", name,
                       facets, static_cast<unsigned long long>(kHeaderBytes + kFacetBytes * facets),
                       data.size());
  }
  cornerPoints.resize(3 * static_cast<size_t>(facets));
  const char* facet = data.data() + kHeaderBytes;
  for (size_t f = 0; f < facets; ++f, facet += kFacetBytes) {
    for (int k = 0; k < 3; ++k) {
      const char* corner = facet + 12 + 12 * k;
      cornerPoints[3 * f + k] = {loadValue<float>(corner, false),
                                 loadValue<float>(corner + 4, false),
                                 loadValue<float>(corner + 8, false)};
    }
  }
  return 0;
}

int readAsciiStl(std::string_view data, const char* name, std::vector<Coord3>& cornerPoints) {
  ByteCursor cursor(data);
  std::string_view word;
  int facetCorners = -1;  // -1 outside a facet
  while (cursor.nextWord(&word)) {
    if (word == "facet") {
      facetCorners = 0;
    } else if (word == "vertex") {
      Coord3 p;
      std::string_view x, y, z;
      if (facetCorners < 0 || facetCorners == 3 || !cursor.nextWord(&x) || !cursor.nextWord(&y) ||
          !cursor.nextWord(&z) || !parseDouble(x, &p.x) || !parseDouble(y, &p.y) ||
          !parseDouble(z, &p.z)) {
        return readFailure("%s, line %lld: a vertex that is not three numbers within a facet", name,
                           cursor.line());
      }
      cornerPoints.push_back(p);
      ++facetCorners;
    } else if (word == "endfacet") {
      if (facetCorners != 3) {
        return readFailure("%s, line %lld: a facet without three vertices", name, cursor.line());
      }
      facetCorners = -1;
    }
  }
  if (facetCorners >= 0) return readFailure("%s: the last facet is cut short", name);
  return 0;
}

}  // namespace

int readStl(std::string_view data, const char* name, PolygonSoup& soup) {
  std::vector<Coord3> cornerPoints;
  size_t text = data.find_first_not_of(" \t\r\n");
  bool asciiStart = text != std::string_view::npos && data.substr(text, 5) == "solid";
  // A binary file may begin with "solid" too: its size tells.
  bool binarySize =
      data.size() >= kHeaderBytes &&
      kHeaderBytes + kFacetBytes * loadValue<uint32_t>(data.data() + 80, false) == data.size();
  int status = binarySize || (!asciiStart && data.size() >= kHeaderBytes)
                   ? readBinaryStl(data, name, cornerPoints)
               : asciiStart
                   ? readAsciiStl(data, name, cornerPoints)
                   : readFailure("%s: neither an ASCII STL (\"solid\") nor a binary one", name);
  if (status != 0) return status;
  mergeEqualPoints(cornerPoints, soup.points, soup.corners);
  for (size_t f = 1; f <= cornerPoints.size() / 3; ++f) {
    soup.ends.push_back(static_cast<int>(3 * f));
  }
  return 0;
}

}  // namespace verdask
