// The closest point of a triangulated surface to a query point, and where a
// ray first meets it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "input/point_set.h"

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
  /// Four children side by side, so one visit weighs them all.
  struct alignas(64) Node {
    float lo[3][4], hi[3][4];  // by axis, then child
    int first[4];              // a leaf's or a node's index
    int count[4];              // a leaf's triangles; 0 for a node; -1 for no child
  };
  struct Box {
    float lo[3], hi[3];
  };
  /// A leaf's triangles and a box around them in a frame of their own, the
  /// last axis along their normal: on a surface, far tighter than a box on
  /// the coordinate axes.
  struct Leaf {
    float axis[3][3];
    float lo[3], hi[3];  // along the axes
    int start;           // its first place in order_; its node holds the count
  };

  /// A triangle that may hold the closest point: no nearer than `lower`, squared.
  struct Candidate {
    int triangle;
    double lower;
  };

  Coord3 centreOf(uint64_t key) const;
  void build(std::vector<uint64_t>& keys);
  void code(uint64_t* begin, uint64_t* end, int first);
  int buildNode(std::vector<uint64_t>& keys, int begin, int end, int level, Box& box);
  void leafAxes(int begin, int end, Coord3 axes[3]) const;
  Leaf leafOf(int begin, int end, Box& box) const;
  double gatherCandidates(const Coord3& query, std::vector<Candidate>& candidates) const;
  template <typename Visit>
  void visitLeaf(int first, int count, Visit visit) const;

  const PointSet& points_;
  const int* corners_;
  double pad_ = 0;           // how far every box reaches beyond its triangles
  std::vector<Node> nodes_;  // the root first
  std::vector<Leaf> leaves_;
  std::vector<int> order_;  // the triangles, leaf by leaf
};

}  // namespace verdask
