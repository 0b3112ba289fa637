// The holes of the trabecular surface: its open edges (those of one
// triangle), which of them the cortical surface reaches over (the rims of
// holes, where a cut end of both surfaces is not), and the nodes whose measure
// ended on such a rim or whose ray left through such a hole.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "input/point_set.h"
#include "thickness/closest_point.h"
#include "thickness/measure.h"
#include "thickness/thickness_pass.h"

namespace verdask {

/// Every edge of `corners` (from 0, three per triangle) that belongs to one
/// triangle alone: its two ends and the triangle's third corner.
struct OpenEdge {
  int a, b, third;
};
std::vector<OpenEdge> openEdgesOf(const std::vector<int>& corners, int vertexCount);

class HoleRims {
 public:
  /// The rims among the open edges of `surface`: an edge is a hole's rim when
  /// the cortical surface goes on beyond it, as far off as above it, rather
  /// than ending with it. `surface` and `cortical` need only last the call.
  HoleRims(const PointSet& surface, const std::vector<OpenEdge>& open,
           const IndexedSurface& cortical);
  ~HoleRims();

  int rimEdges() const { return static_cast<int>(rims_.size() / 2); }

  /// Whether p lies on a rim edge, within a millionth of its length.
  bool onRim(const Coord3& p) const;

  /// How far the ray from `origin` along `direction` goes before it crosses a
  /// hole: each hole's cap is the fan from the mean of its rim to its rim
  /// edges. Infinity when it crosses none.
  double throughHole(const Coord3& origin, const Coord3& direction) const;

 private:
  struct Cell {
    long long x, y, z;
    bool operator==(const Cell& o) const { return x == o.x && y == o.y && z == o.z; }
  };
  struct CellHash {
    size_t operator()(const Cell& c) const;
  };
  Cell cellOf(const Coord3& p) const;
  void buildCaps();

  std::vector<Coord3> rims_;  // two ends per rim edge
  double cellSize_ = 0;
  std::unordered_map<Cell, std::vector<int>, CellHash> cells_;  // the rim edges near each cell
  PointSet capPoints_;
  std::vector<int> capCorners_;
  std::unique_ptr<ClosestPoint> caps_;
};

/// Marks `at_hole` the nodes whose trabecular point lies on a rim and, for
/// the normal measure (a `rayReach` above 0, its reach), those whose ray from
/// the cortical point along the inward normal crosses a hole before its
/// trabecular point, or, where it fell back, within its reach. Returns the count.
int flagHoles(const HoleRims& rims, double rayReach, PassRecord& record, int threads);

}  // namespace verdask
