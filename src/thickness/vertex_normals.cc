#include "thickness/vertex_normals.h"

#include <atomic>
#include <cmath>
#include <functional>

#include "io/parallel.h"
#include "thickness/thickness.h"

namespace verdask {

namespace {

Coord3 minus(const Coord3& a, const Coord3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

Coord3 cross(const Coord3& a, const Coord3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The angle at corner a of triangle abc.
double angleAt(const Coord3& a, const Coord3& b, const Coord3& c) {
  Coord3 u = minus(b, a), v = minus(c, a);
  return std::atan2(vectorLength(cross(u, v)), dotProduct(u, v));
}

}  // namespace

std::vector<Coord3> angleWeightedNormals(const PointSet& points,
                                         const std::vector<int>& triangles) {
  std::vector<Coord3> normals(points.count(), Coord3{0, 0, 0});
  for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
    const int* c = &triangles[t];
    Coord3 face = cross(minus(points.point(c[1]), points.point(c[0])),
                        minus(points.point(c[2]), points.point(c[0])));
    double length = vectorLength(face);
    if (!(length > 0)) continue;
    for (int k = 0; k < 3; ++k) {
      double weight =
          angleAt(points.point(c[k]), points.point(c[(k + 1) % 3]), points.point(c[(k + 2) % 3])) /
          length;
      Coord3& n = normals[c[k]];
      n = {n.x + weight * face.x, n.y + weight * face.y, n.z + weight * face.z};
    }
  }
  for (Coord3& n : normals) {
    if (vectorLength(n) > 0) normalizeVector(n);
  }
  return normals;
}

bool mostPointTowards(const PointSet& points, const std::vector<Coord3>& normals,
                      const NearestVertex& other, const PointSet& otherPoints, int threads) {
  std::atomic<long long> towards{0}, away{0};
  runInRanges(threads, points.count(), [&](int begin, int end) {
    long long ahead = 0, behind = 0;
    for (int i = begin; i < end; ++i) {
      const Coord3& p = points.point(i);
      double dot = dotProduct(normals[i], minus(otherPoints.point(other.nearest(&p.x)), p));
      ahead += dot > 0;
      behind += dot < 0;
    }
    towards += ahead;
    away += behind;
  });
  return towards > away;
}

}  // namespace verdask
