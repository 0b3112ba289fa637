#include "thickness/vertex_normals.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>

#include "base/parallel.h"
#include "thickness/thickness.h"

namespace verdask {

namespace {

// The angle at corner a of triangle abc.
double angleAt(const Coord3& a, const Coord3& b, const Coord3& c) {
  Coord3 u = difference(b, a), v = difference(c, a);
  return std::atan2(vectorLength(crossProduct(u, v)), dotProduct(u, v));
}

// Whether every edge of the triangles is met once in each direction.
bool closesWoundAlike(const std::vector<int>& triangles) {
  std::vector<uint64_t> edges;
  edges.reserve(triangles.size());
  for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
    for (int k = 0; k < 3; ++k) {
      uint64_t from = static_cast<uint32_t>(triangles[t + k]);
      uint64_t to = static_cast<uint32_t>(triangles[t + (k + 1) % 3]);
      if (from == to) return false;
      edges.push_back(from << 32 | to);
    }
  }
  std::sort(edges.begin(), edges.end());
  if (std::adjacent_find(edges.begin(), edges.end()) != edges.end()) return false;
  for (uint64_t edge : edges) {
    uint64_t reverse = edge << 32 | edge >> 32;
    if (!std::binary_search(edges.begin(), edges.end(), reverse)) return false;
  }
  return !edges.empty();
}

}  // namespace

double enclosedVolume(const PointSet& points, const std::vector<int>& triangles) {
  if (!closesWoundAlike(triangles)) return 0;
  // Taken about a point of the surface, so that a bone far from the origin loses no digits.
  const Coord3& origin = points.point(triangles[0]);
  double volume = 0;
  for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
    const int* c = &triangles[t];
    volume += dotProduct(difference(points.point(c[0]), origin),
                         crossProduct(difference(points.point(c[1]), origin),
                                      difference(points.point(c[2]), origin)));
  }
  return volume / 6;
}

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

NormalsTurn turnOutwards(const char* name, const PointSet& points,
                         const std::vector<int>& triangles, const NearestVertex* other,
                         const PointSet& otherPoints, int threads, std::vector<Coord3>& normals) {
  NormalsTurn turn;
  double volume = enclosedVolume(points, triangles);
  turn.windsInwards = volume < 0;
  // Without a trabecular surface (-ct), only a closed surface can be turned.
  bool towards =
      other && mostPointTowards(points, normals, *other, otherPoints, threads) != turn.windsInwards;
  turn.turnedFromOther = volume == 0 && towards;
  if (towards && !turn.turnedFromOther) {
    turn.finding = std::string("the trabecular surface lies outside the closed cortical surface ") +
                   name + ": the cortical and trabecular surfaces seem given in the wrong order";
  }
  if (turn.windsInwards || turn.turnedFromOther) {
    for (Coord3& n : normals) n = {-n.x, -n.y, -n.z};
  }
  return turn;
}

}  // namespace verdask
