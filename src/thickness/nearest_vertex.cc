#include "thickness/nearest_vertex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <nanoflann.hpp>
#include <utility>
#include <vector>

namespace verdask {

namespace {

// The ANN library keeps its search state in globals: one search at a time,
// over all trees.
std::mutex annMutex;

// Two squared distances this close are a tie: rounding in either index could
// order them either way, and only ANN's own order is the outputs' order.
constexpr double kTieTolerance = 1e-12;

constexpr size_t kLeafSize = 64;

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
  FastTree(const double* coords, size_t count)
      : cloud_{coords, count},
        tree_(3, cloud_, nanoflann::KDTreeSingleIndexAdaptorParams(kLeafSize)) {
    tree_.buildIndex();
  }
  /// The k (at most 2) nearest points, nearest first; returns how many there are.
  size_t nearest(const double* query, size_t k, uint32_t indices[2]) const {
    double distances[2];
    nanoflann::KNNResultSet<double, uint32_t> result(k);
    result.init(indices, distances);
    tree_.findNeighbors(result, query, nanoflann::SearchParams());
    return result.size();
  }

 private:
  PointCloud cloud_;
  KdTree tree_;
};

// Coincident vertices folded into one entry each: a kd-tree cannot prune among
// equal points, so a set of many equal ones would make every query visit them all.
struct NearestVertex::Folded {
  std::vector<double> coords;  // one point per distinct position
  std::vector<int> vertex;     // the first vertex there, in file order
  std::vector<char> shared;    // whether more vertices stand there
};

namespace {

bool samePoint(const Coord3& a, const Coord3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

uint64_t mix(uint64_t v) {
  v ^= v >> 33;
  v *= 0xff51afd7ed558ccdULL;
  v ^= v >> 33;
  v *= 0xc4ceb9fe1a85ec53ULL;
  return v ^ (v >> 33);
}

uint64_t hashOf(const Coord3& p) {
  uint64_t h = 0;
  for (double v : {p.x, p.y, p.z}) {
    v += 0.0;  // -0 and 0 are one position
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    h = mix(h ^ bits);
  }
  return h;
}

// Whether two vertices may coincide: equal hashes, found by a radix sort,
// which costs a small part of a tree build. Most surfaces have no such pair.
bool mayCoincide(const PointSet& points) {
  std::vector<uint64_t> keys(points.count()), sorted(points.count());
  for (int i = 0; i < points.count(); ++i) keys[i] = hashOf(points.point(i));
  for (int shift = 0; shift < 64; shift += 16) {
    std::vector<size_t> start(1 << 16, 0);
    for (uint64_t key : keys) ++start[key >> shift & 0xffff];
    size_t total = 0;
    for (size_t& bucket : start) total += std::exchange(bucket, total);
    for (uint64_t key : keys) sorted[start[key >> shift & 0xffff]++] = key;
    keys.swap(sorted);
  }
  return std::adjacent_find(keys.begin(), keys.end()) != keys.end();
}

}  // namespace

// Null when no two vertices coincide.
std::unique_ptr<NearestVertex::Folded> NearestVertex::fold(const PointSet& points) {
  if (!mayCoincide(points)) return nullptr;
  std::vector<int> order(points.count());
  for (int i = 0; i < points.count(); ++i) order[i] = i;
  auto before = [&](int a, int b) {
    const Coord3 &p = points.point(a), &q = points.point(b);
    if (p.x != q.x) return p.x < q.x;
    if (p.y != q.y) return p.y < q.y;
    if (p.z != q.z) return p.z < q.z;
    return a < b;
  };
  std::sort(order.begin(), order.end(), before);
  std::vector<int> firstOf(points.count());  // each vertex's first coincident vertex
  bool coincide = false;
  for (size_t k = 0; k < order.size(); ++k) {
    bool same = k > 0 && samePoint(points.point(order[k]), points.point(order[k - 1]));
    firstOf[order[k]] = same ? firstOf[order[k - 1]] : order[k];
    coincide = coincide || same;
  }
  if (!coincide) return nullptr;
  auto folded = std::make_unique<Folded>();
  std::vector<int> entry(points.count(), -1);  // a first vertex's entry
  for (int i = 0; i < points.count(); ++i) {
    int first = firstOf[i];
    if (entry[first] < 0) {
      entry[first] = static_cast<int>(folded->vertex.size());
      folded->vertex.push_back(first);
      folded->shared.push_back(0);
      const Coord3& p = points.point(first);
      folded->coords.insert(folded->coords.end(), {p.x, p.y, p.z});
    } else {
      folded->shared[entry[first]] = 1;
    }
  }
  return folded;
}

NearestVertex::NearestVertex(const PointSet& points, TieRule ties, IndexChoice choice)
    : points_(points), ties_(ties) {
  bool judgeNow = true;  // where ANN answers every query
  if (choice == IndexChoice::kFastWithAnnJudge && points.count() > 0) {
    folded_ = fold(points);
    fast_ = folded_ ? std::make_unique<FastTree>(folded_->coords.data(), folded_->vertex.size())
                    : std::make_unique<FastTree>(points.coords(), points.count());
    // Coincident vertices whose order matters will need the judge: it is built
    // now, not in the pass. Other ties cannot be foreseen, and a judge for
    // every surface would cost more than most runs' whole pass.
    judgeNow = folded_ && ties == TieRule::kEveryTie;
  }
  if (judgeNow) {
    std::lock_guard<std::mutex> lock(annMutex);
    annTree();
  }
}

NearestVertex::~NearestVertex() {
  std::lock_guard<std::mutex> lock(annMutex);
  ann_.reset();
}

const double* NearestVertex::entryCoords(uint32_t entry) const {
  return folded_ ? &folded_->coords[3 * size_t{entry}] : points_.coords() + 3 * size_t{entry};
}

int NearestVertex::vertexOf(uint32_t entry) const {
  return folded_ ? folded_->vertex[entry] : static_cast<int>(entry);
}

int NearestVertex::nearest(const double* query) const {
  if (!fast_) return judge(query);
  uint32_t found[2] = {0, 0};
  if (fast_->nearest(query, 2, found) == 2) {
    double d1 = annDistance(query, entryCoords(found[0]));
    double d2 = annDistance(query, entryCoords(found[1]));
    if (d2 < d1) std::swap(found[0], found[1]);
    if (std::max(d1, d2) <= std::min(d1, d2) * (1 + kTieTolerance)) {
      // Vertices at different positions tie: only ANN's order is the outputs' order.
      ++ties_seen_;
      return judge(query);
    }
  }
  if (!folded_ || !folded_->shared[found[0]]) return vertexOf(found[0]);
  // Coincident vertices tie; where only coordinates reach the outputs, any will do.
  ++ties_seen_;
  return ties_ == TieRule::kDistinctCoordinates ? vertexOf(found[0]) : judge(query);
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
    ann_ = std::make_unique<ANNkd_tree>(points_.points(), points_.count(), 3, 1, ANN_KD_SUGGEST);
  }
  return *ann_;
}

double NearestVertex::typicalSpacing() const {
  constexpr int kSample = 1024;
  int count = folded_ ? static_cast<int>(folded_->vertex.size()) : points_.count();
  if (!fast_ || count < 2) return 0;
  std::vector<double> spacings;
  for (int k = 0; k < std::min(count, kSample); ++k) {
    uint32_t entry =
        static_cast<uint32_t>(static_cast<long long>(k) * count / std::min(count, kSample));
    uint32_t found[2];
    fast_->nearest(entryCoords(entry), 2, found);
    uint32_t other = found[0] == entry ? found[1] : found[0];
    spacings.push_back(std::sqrt(annDistance(entryCoords(entry), entryCoords(other))));
  }
  std::nth_element(spacings.begin(), spacings.begin() + spacings.size() / 2, spacings.end());
  return spacings[spacings.size() / 2];
}

QueryCounts NearestVertex::counts() const { return {ties_seen_.load(), judged_.load()}; }

}  // namespace verdask
