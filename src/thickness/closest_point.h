// The closest point of a triangulated surface to a query point.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "io/point_set.h"

namespace verdask {

/// Answers which point of a triangulated surface is closest to a query point,
/// and on which triangle, with CGAL's AABB tree in double arithmetic, over the
/// triangles that have an area. The point set and the corners must outlive
/// it; queries may come from many threads.
class ClosestPoint {
 public:
  /// Builds the tree over the triangles `corners` (from 0, three per triangle).
  ClosestPoint(const PointSet& points, const std::vector<int>& corners);
  ~ClosestPoint();
  ClosestPoint(const ClosestPoint&) = delete;
  ClosestPoint& operator=(const ClosestPoint&) = delete;

  struct Hit {
    Coord3 point;
    int triangle;  // from 0
  };
  /// Whether no triangle has an area; then there is nothing to query.
  bool empty() const;

  /// The closest point; `nearVertex`, a vertex near the query, speeds the search.
  Hit closest(const Coord3& query, int nearVertex) const;

  /// Where the ray from `origin` along `direction` first meets the triangles;
  /// none when it meets none (or the direction has no length).
  std::optional<Coord3> firstHit(const Coord3& origin, const Coord3& direction) const;

 private:
  struct Tree;
  std::unique_ptr<Tree> tree_;
};

}  // namespace verdask
