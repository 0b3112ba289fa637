// The closest point of a triangulated surface to a query point, and where a
// ray first meets it.
#pragma once

#include <optional>
#include <vector>

#include "io/point_set.h"

namespace verdask {

/// A bounding volume hierarchy over the triangles that have an area. Each
/// answer is the best over every triangle, ties going to the lowest triangle
/// number, so it never depends on the tree's shape; the points themselves
/// are CGAL's constructions in double arithmetic. The point set and the
/// corners must outlive it; queries may come from many threads.
class ClosestPoint {
 public:
  /// Builds the tree over the triangles `corners` (from 0, three per triangle).
  ClosestPoint(const PointSet& points, const std::vector<int>& corners);

  struct Hit {
    Coord3 point;
    int triangle;  // from 0
  };
  /// Whether no triangle has an area; then there is nothing to query.
  bool empty() const { return order_.empty(); }

  Hit closest(const Coord3& query) const;

  /// Where the ray from `origin` along `direction` first meets the triangles;
  /// none when it meets none (or the direction has no length).
  std::optional<Coord3> firstHit(const Coord3& origin, const Coord3& direction) const;

 private:
  struct Node {
    float lo[3], hi[3];
    int start;  // a leaf's first place in order_; an inner node's second child
    int count;  // a leaf's triangles; 0 for an inner node, whose first child follows it
  };

  void build(std::vector<uint64_t>& keys);
  int buildNode(const std::vector<uint64_t>& keys, int begin, int end);
  template <typename Visit>
  void visitLeaf(const Node& leaf, Visit visit) const;

  const PointSet& points_;
  const int* corners_;
  double pad_ = 0;           // how far every box reaches beyond its triangles
  std::vector<Node> nodes_;  // depth first from the root
  std::vector<int> order_;   // the triangles, leaf by leaf
};

}  // namespace verdask
