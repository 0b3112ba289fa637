#include <algorithm>
#include <cstdio>
#include <new>

#include "base/report.h"
#include "input/line_reader.h"
#include "input/number_scan.h"
#include "input/readers.h"

namespace verdask {

namespace {

enum TriangleStatus {
  kNoStream = -1,
  kNoTriangles = kSurfWithoutTriangles,
  kEndBeforeAllTriangles = -3,
  kShortTriangle = -4,
  kVertexOutOfRange = -5,
  kOutOfMemory = -6,
  kTooWide = -7,
};

// Closest points on a triangle multiply up to four coordinate differences:
// beyond this width they would overflow a double.
constexpr double kWidestTriangle = 1e75;

// The integer after the first word of the next line containing `keyword`;
// false when there is none.
bool readCountLine(LineReader& lines, const char* keyword, long long* count) {
  LineView line;
  if (!lines.next(&line) || !skipToKeyword(lines, &line, keyword)) return false;
  char buffer[kLinePieceMax + 1];
  line.copyTo(buffer);
  return sscanf(buffer, "%*s %lld", count) == 1;
}

// One patch's `count` triangle lines, their corners appended from 0.
int readPatch(LineReader& lines, const char* name, int vertexCount, long long count,
              std::vector<int>& corners) {
  // A triangle line takes at least six characters ("1 2 3\n").
  long long left = lines.bytesLeft();
  if (left >= 0 && count > 0) corners.reserve(corners.size() + 3 * std::min(count, left / 6 + 1));
  for (long long k = 0; k < count; ++k) {
    long long number = static_cast<long long>(corners.size() / 3) + 1;
    LineView line;
    if (!lines.next(&line)) {
      report("%s ends before triangle #%lld\n", name, number);
      return kEndBeforeAllTriangles;
    }
    long long c[3];
    if (scanSurfTriangle(line, c) != 3) {
      report("Triangle #%lld of %s does not hold three vertex numbers\n", number, name);
      return kShortTriangle;
    }
    for (long long corner : c) {
      if (corner < 1 || corner > vertexCount) {
        report("Triangle #%lld of %s uses vertex %lld, outside 1..%d\n", number, name, corner,
               vertexCount);
        return kVertexOutOfRange;
      }
    }
    for (long long corner : c) corners.push_back(static_cast<int>(corner - 1));
  }
  return 0;
}

double squaredDistance(const Coord3& a, const Coord3& b) {
  return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z);
}

}  // namespace

int checkTriangleWidths(const PointSet& points, const std::vector<int>& corners, const char* name) {
  for (size_t t = 0; t < corners.size() / 3; ++t) {
    const Coord3 &a = points.point(corners[3 * t]), &b = points.point(corners[3 * t + 1]),
                 &c = points.point(corners[3 * t + 2]);
    double widest = std::max({squaredDistance(a, b), squaredDistance(b, c), squaredDistance(c, a)});
    if (!(widest <= kWidestTriangle * kWidestTriangle)) {
      report("Triangle #%zu of %s is wider than %g: -surface measures narrower triangles only\n",
             t + 1, name, kWidestTriangle);
      return kTooWide;
    }
  }
  return 0;
}

int parseSurfTriangles(FILE* surf, const char* name, int vertexCount, std::vector<int>& corners) {
  if (!surf) {
    report("Failed to open .surf file\n");
    return kNoStream;
  }
  corners.clear();
  LineReader lines(surf, kLinePieceMax);
  long long patches = 0;  // none when the file has no Patches line
  readCountLine(lines, "Patches", &patches);
  try {
    for (long long p = 0; p < patches; ++p) {
      long long count;
      if (!readCountLine(lines, "Triangles", &count)) break;
      if (int status = readPatch(lines, name, vertexCount, count, corners)) return status;
    }
  } catch (const std::bad_alloc&) {
    report("Not enough memory for the triangles of %s\n", name);
    return kOutOfMemory;
  }
  if (corners.empty()) {
    report("No triangles in %s: -surface needs its Patches and Triangles sections\n", name);
    return kNoTriangles;
  }
  return 0;
}

}  // namespace verdask
