#include "thickness/vertex_normals.h"

#include <atomic>
#include <cmath>
#include <functional>

#include "io/parallel.h"
#include "thickness/thickness.h"

namespace verdask {

namespace {

// The angle at corner a of triangle abc.
double angleAt(const Coord3& a, const Coord3& b, const Coord3& c) {
  Coord3 u = difference(b, a), v = difference(c, a);
  return std::atan2(vectorLength(crossProduct(u, v)), dotProduct(u, v));
}

}  // namespace

std::vector<Coord3> angleWeightedNormals(const PointSet& points,
                                         const std::vector<int>& triangles) {
  std::vector<Coord3> normals(points.count(), Coord3{0, 0, 0});
  for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
    const int* c = &triangles[t];
    Coord3 face = crossProduct(difference(points.point(c[1]), points.point(c[0])),
                               difference(points.point(c[2]), points.point(c[0])));
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
      double dot = dotProduct(normals[i], difference(otherPoints.point(other.nearest(&p.x)), p));
      ahead += dot > 0;
      behind += dot < 0;
    }
    towards += ahead;
    away += behind;
  });
  return towards > away;
}

}  // namespace verdask
