#include "thickness/nearest_vertex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <nanoflann.hpp>
#include <utility>
#include <vector>

#include "io/platform.h"

namespace verdask {

namespace {

// The ANN library keeps its search state in globals: one search at a time,
// over all trees.
std::mutex annMutex;

// Two squared distances this close are a tie: rounding in either index could
// order them either way, and only ANN's own order is the outputs' order.
constexpr double kTieTolerance = 1e-12;

constexpr size_t kLeafSize = 64;

// An ANN tree allocates two small nodes per point from the heap: about this much.
constexpr size_t kAnnTreeBytesPerPoint = 96;

// The point set as nanoflann sees it.
struct PointCloud {
  const double* coords;
  size_t count;
  size_t kdtree_get_point_count() const { return count; }
  double kdtree_get_pt(uint32_t i, size_t dim) const { return coords[3 * size_t{i} + dim]; }
  template <typename Box>
  bool kdtree_get_bbox(Box&) const {
    return false;
  }
};

using KdTree = nanoflann::KDTreeSingleIndexAdaptor<
    nanoflann::L2_Simple_Adaptor<double, PointCloud, double, uint32_t>, PointCloud, 3, uint32_t>;

// The squared distance as the ANN library sums it: (dx*dx + dy*dy) + dz*dz.
double annDistance(const double* query, const double* point) {
  double dx = query[0] - point[0], dy = query[1] - point[1], dz = query[2] - point[2];
  return (dx * dx + dy * dy) + dz * dz;
}

}  // namespace

class NearestVertex::FastTree {
 public:
  explicit FastTree(const PointSet& points)
      : cloud_{points.coords(), static_cast<size_t>(points.count())},
        tree_(3, cloud_, nanoflann::KDTreeSingleIndexAdaptorParams(kLeafSize)) {
    tree_.buildIndex();
  }
  /// The k (at most 2) nearest vertices, nearest first; returns how many there are.
  size_t nearest(const double* query, size_t k, uint32_t indices[2]) const {
    double distances[2];
    nanoflann::KNNResultSet<double, uint32_t> result(k);
    result.init(indices, distances);
    tree_.findNeighbors(result, query, nanoflann::SearchParams());
    return result.size();
  }
  /// Every vertex within squared distance `bound`.
  std::vector<std::pair<uint32_t, double>> within(const double* query, double bound) const {
    std::vector<std::pair<uint32_t, double>> found;
    tree_.radiusSearch(query, bound, found, nanoflann::SearchParams());
    return found;
  }

 private:
  PointCloud cloud_;
  KdTree tree_;
};

NearestVertex::NearestVertex(const PointSet& points, TieRule ties, IndexChoice choice)
    : points_(points), ties_(ties) {
  if (choice == IndexChoice::kFastWithAnnJudge && points.count() > 0) {
    fast_ = std::make_unique<FastTree>(points);
  } else {
    std::lock_guard<std::mutex> lock(annMutex);
    annTree();
  }
}

NearestVertex::~NearestVertex() {
  std::lock_guard<std::mutex> lock(annMutex);
  ann_.reset();
}

int NearestVertex::nearest(const double* query) const {
  if (!fast_) return judge(query);
  uint32_t found[2] = {0, 0};
  if (fast_->nearest(query, 2, found) < 2) return static_cast<int>(found[0]);
  double d1 = annDistance(query, points_.coords() + 3 * size_t{found[0]});
  double d2 = annDistance(query, points_.coords() + 3 * size_t{found[1]});
  if (d2 < d1) {
    std::swap(d1, d2);
    std::swap(found[0], found[1]);
  }
  if (d2 > d1 * (1 + kTieTolerance)) return static_cast<int>(found[0]);
  ++ties_seen_;
  if (ties_ == TieRule::kDistinctCoordinates && tiedVerticesCoincide(query, found[0], d1)) {
    return static_cast<int>(found[0]);
  }
  return judge(query);
}

int NearestVertex::anyNearest(const double* query) const {
  if (!fast_) return judge(query);
  uint32_t found[2] = {0, 0};
  fast_->nearest(query, 1, found);
  return static_cast<int>(found[0]);
}

// Whether every vertex within the tie tolerance of the nearest has its coordinates.
bool NearestVertex::tiedVerticesCoincide(const double* query, int first, double distance) const {
  const Coord3& p = points_.point(first);
  // A little wider than the tolerance, then measured as ANN measures.
  for (const auto& [index, unused] : fast_->within(query, distance * (1 + 4 * kTieTolerance))) {
    const Coord3& q = points_.point(static_cast<int>(index));
    bool tied = annDistance(query, &q.x) <= distance * (1 + kTieTolerance);
    if (tied && (q.x != p.x || q.y != p.y || q.z != p.z)) return false;
  }
  return true;
}

int NearestVertex::judge(const double* query) const {
  ++judged_;
  std::lock_guard<std::mutex> lock(annMutex);
  ANNidx index;
  ANNdist distance;
  annTree().annkSearch(const_cast<double*>(query), 1, &index, &distance, 0.0);
  return index;
}

// The ANN tree, built the first time it is needed, as the run always built it:
// bucket size 1, the suggested split rule. The caller holds annMutex.
ANNkd_tree& NearestVertex::annTree() const {
  if (!ann_) {
    reserveHeap(kAnnTreeBytesPerPoint * static_cast<size_t>(points_.count()));
    ann_ = std::make_unique<ANNkd_tree>(points_.points(), points_.count(), 3, 1, ANN_KD_SUGGEST);
  }
  return *ann_;
}

double NearestVertex::typicalSpacing() const {
  constexpr int kSample = 1024;
  int count = points_.count();
  if (!fast_ || count < 2) return 0;
  std::vector<double> spacings;
  for (int k = 0; k < std::min(count, kSample); ++k) {
    int i = static_cast<int>(static_cast<long long>(k) * count / std::min(count, kSample));
    uint32_t found[2];
    fast_->nearest(&points_.point(i).x, 2, found);
    uint32_t other = found[0] == static_cast<uint32_t>(i) ? found[1] : found[0];
    spacings.push_back(std::sqrt(annDistance(&points_.point(i).x, &points_.point(other).x)));
  }
  std::nth_element(spacings.begin(), spacings.begin() + spacings.size() / 2, spacings.end());
  return spacings[spacings.size() / 2];
}

QueryCounts NearestVertex::counts() const { return {ties_seen_.load(), judged_.load()}; }

}  // namespace verdask
