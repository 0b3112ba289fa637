// Points of dimension 3 in the ANN library's array layout.
#pragma once

#include <ANN/ANN.h>

#include <vector>

#include "base/coord3.h"

namespace verdask {

/// Points of dimension 3 in one ANN block: point i at doubles 3i, 3i+1, 3i+2.
class PointSet {
 public:
  PointSet() = default;
  ~PointSet();
  PointSet(const PointSet&) = delete;
  PointSet& operator=(const PointSet&) = delete;

  /// Replaces the array by one of n points, contents undefined; false when n
  /// points cannot be allocated (the set is then empty).
  bool resize(int n);
  /// Replaces the array by a copy of `points`; false when they cannot be
  /// held (none, or too many), the set then empty.
  bool assign(const std::vector<Coord3>& points);
  ANNpointArray points() const { return points_; }
  /// The coordinate block, readable as count() consecutive Coord3.
  double* coords() const { return points_ ? points_[0] : nullptr; }
  const Coord3& point(int i) const { return reinterpret_cast<const Coord3*>(coords())[i]; }
  int count() const { return count_; }

 private:
  ANNpointArray points_ = nullptr;
  int count_ = 0;
};

}  // namespace verdask
