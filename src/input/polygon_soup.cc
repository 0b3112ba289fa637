#include "input/polygon_soup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "input/readers.h"
#include "input/scan.h"

namespace verdask {

namespace {

bool withinRange(const Coord3& p) {
  for (double v : {p.x, p.y, p.z}) {
    if (!(std::fabs(v) <= kMaxCoordinate)) return false;
  }
  return true;
}

// Equal coordinates hash equally; -0 and 0 are one point.
uint64_t hashOf(const Coord3& p) {
  uint64_t hash = 1469598103934665603ULL;
  for (double v : {p.x, p.y, p.z}) {
    uint64_t bits;
    double value = v == 0 ? 0.0 : v;
    memcpy(&bits, &value, sizeof bits);
    hash = (hash ^ bits) * 0x9E3779B97F4A7C15ULL;
    hash ^= hash >> 29;
  }
  return hash;
}

bool samePoint(const Coord3& a, const Coord3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// Every polygon has three corners at least, each the index of a point the soup has.
Status checkCorners(const PolygonSoup& soup, const char* name) {
  for (int f = 0; f < soup.polygonCount(); ++f) {
    if (soup.cornersOf(f) < 3) {
      return readFailure("%s: polygon %d has %d corners", name, f + 1, soup.cornersOf(f));
    }
    for (int k = 0; k < soup.cornersOf(f); ++k) {
      int corner = soup.firstCorner(f)[k];
      if (corner < 0) {
        return readFailure(
            "%s: corner %d of polygon %d is not a point index (negative, not a whole number, or "
            "beyond 2147483647)",
            name, k + 1, f + 1);
      }
      if (static_cast<size_t>(corner) >= soup.points.size()) {
        return readFailure("%s: polygon %d names point %lld, but there are %zu points", name, f + 1,
                           static_cast<long long>(corner) + 1, soup.points.size());
      }
    }
  }
  return {};
}

}  // namespace

Status checkSoup(const PolygonSoup& soup, const char* name) {
  for (size_t i = 0; i < soup.points.size(); ++i) {
    if (!withinRange(soup.points[i])) {
      return readFailure("%s: point %zu has a coordinate that is not a number or beyond 1e150",
                         name, i + 1);
    }
  }
  if (Status status = checkCorners(soup, name)) return status;
  if (!soup.normals.empty() && soup.normals.size() != soup.points.size()) {
    return readFailure("%s: %zu normals for %zu points", name, soup.normals.size(),
                       soup.points.size());
  }
  for (size_t i = 0; i < soup.normals.size(); ++i) {
    const Coord3& n = soup.normals[i];
    if (!isFinite(n)) {
      return readFailure("%s: point %zu has a normal that is not finite (%g %g %g)", name, i + 1,
                         n.x, n.y, n.z);
    }
  }
  return {};
}

void addCells(const std::vector<long long>& ends, const std::vector<long long>& points, bool strips,
              int firstPoint, PolygonSoup& soup) {
  auto index = [&](long long k) {
    long long point = points[k] < 0 ? -1 : points[k] + firstPoint;
    return point <= INT32_MAX ? static_cast<int>(point) : -1;
  };
  long long begin = 0;
  for (long long end : ends) {
    end = std::min<long long>(end, points.size());
    if (!strips) {
      for (long long k = begin; k < end; ++k) soup.corners.push_back(index(k));
      soup.endPolygon();
    }
    for (long long k = begin; strips && k + 2 < end; ++k) {
      bool odd = (k - begin) % 2;
      soup.corners.insert(soup.corners.end(), {index(k + odd), index(k + !odd), index(k + 2)});
      soup.endPolygon();
    }
    begin = std::max(begin, end);
  }
}

int triangulate(PolygonSoup& soup, std::vector<int>& triangles) {
  if (soup.corners.size() == 3 * soup.ends.size()) {
    triangles = std::move(soup.corners);
    soup.corners.clear();
    soup.ends.clear();
    return 0;
  }
  int split = 0;
  triangles.clear();
  triangles.reserve(soup.corners.size());
  for (int f = 0; f < soup.polygonCount(); ++f) {
    const int* corner = soup.firstCorner(f);
    int count = soup.cornersOf(f);
    split += count > 3;
    for (int k = 1; k + 1 < count; ++k)
      triangles.insert(triangles.end(), {corner[0], corner[k], corner[k + 1]});
  }
  return split;
}

void mergeEqualPoints(const std::vector<Coord3>& cornerPoints, std::vector<Coord3>& points,
                      std::vector<int>& corners) {
  // Open addressing, at most half full: a surface's corners number millions.
  size_t slots = 16;
  while (slots < 2 * cornerPoints.size()) slots *= 2;
  std::vector<int> table(slots, -1);
  points.clear();
  corners.resize(cornerPoints.size());
  for (size_t c = 0; c < cornerPoints.size(); ++c) {
    const Coord3& p = cornerPoints[c];
    size_t slot = hashOf(p) & (slots - 1);
    while (table[slot] >= 0 && !samePoint(points[table[slot]], p)) slot = (slot + 1) & (slots - 1);
    if (table[slot] < 0) {
      table[slot] = static_cast<int>(points.size());
      points.push_back(p);
    }
    corners[c] = table[slot];
  }
}

}  // namespace verdask
