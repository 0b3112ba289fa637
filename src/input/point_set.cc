#include "input/point_set.h"

#include <algorithm>
#include <climits>
#include <new>

#include "base/platform.h"

namespace verdask {

PointSet::~PointSet() {
  if (points_) annDeallocPts(points_);
}

bool PointSet::resize(int n) {
  if (points_) annDeallocPts(points_);
  points_ = nullptr;
  count_ = 0;
  // The library sizes its block as n * 3 in an int.
  if (n <= 0 || n > INT_MAX / 3) return false;
  try {
    points_ = annAllocPts(n, 3);
  } catch (const std::bad_alloc&) {
    return false;
  }
  adviseHugePages(points_[0], sizeof(ANNcoord) * 3 * n);
  count_ = n;
  return true;
}

bool PointSet::assign(const std::vector<Coord3>& points) {
  if (points.size() > static_cast<size_t>(INT_MAX) || !resize(static_cast<int>(points.size()))) {
    return false;
  }
  std::copy(points.begin(), points.end(), reinterpret_cast<Coord3*>(coords()));
  return true;
}

}  // namespace verdask
