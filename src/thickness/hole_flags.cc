#include "thickness/hole_flags.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>

#include "base/parallel.h"

namespace verdask {

namespace {

// A point on a rim edge lies on it to within this share of its length.
constexpr double kOnRim = 1e-6;

// The other end and the third corner of each edge, under its lower end.
struct HalfEdge {
  int other, third;
};

Coord3 scaled(const Coord3& v, double s) { return {v.x * s, v.y * s, v.z * s}; }
Coord3 sum(const Coord3& a, const Coord3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

double distanceToSegment(const Coord3& p, const Coord3& a, const Coord3& b) {
  Coord3 ab = difference(b, a), ap = difference(p, a);
  double length = dotProduct(ab, ab);
  double t = length > 0 ? std::clamp(dotProduct(ap, ab) / length, 0.0, 1.0) : 0.0;
  return vectorLength(difference(ap, scaled(ab, t)));
}

// Whether the cortical surface goes on beyond the open edge ab of triangle
// abc: from a point past the edge, in the triangle's plane, twice the edge's
// depth under the cortex away (and an edge's length more), the cortex lies
// nearer the depth itself than the distance to a cortex that ends with the edge.
bool underCortex(const Coord3& a, const Coord3& b, const Coord3& c,
                 const IndexedSurface& cortical) {
  Coord3 edge = difference(b, a), toThird = difference(c, a);
  double along = dotProduct(edge, edge);
  if (!(along > 0)) return false;
  Coord3 outward = scaled(difference(toThird, scaled(edge, dotProduct(toThird, edge) / along)), -1);
  double width = vectorLength(outward);
  if (!(width > 0)) return false;
  Coord3 middle = scaled(sum(a, b), 0.5);
  double depth = vectorLength(difference(closestPointOn(cortical, middle), middle));
  double reach = 2 * depth + std::sqrt(along);
  Coord3 beyond = sum(middle, scaled(outward, reach / width));
  double further = vectorLength(difference(closestPointOn(cortical, beyond), beyond));
  return further < (depth + std::hypot(reach, depth)) / 2;
}

// The rim edges' vertices grouped into holes: each vertex's hole, by union-find.
std::vector<int> holesOf(const std::vector<OpenEdge>& rims, std::vector<int>& vertices) {
  for (const OpenEdge& e : rims) vertices.insert(vertices.end(), {e.a, e.b});
  std::sort(vertices.begin(), vertices.end());
  vertices.erase(std::unique(vertices.begin(), vertices.end()), vertices.end());
  std::vector<int> parent(vertices.size());
  std::iota(parent.begin(), parent.end(), 0);
  auto find = [&parent](int v) {
    while (parent[v] != v) v = parent[v] = parent[parent[v]];
    return v;
  };
  auto at = [&vertices](int v) {
    return static_cast<int>(std::lower_bound(vertices.begin(), vertices.end(), v) -
                            vertices.begin());
  };
  for (const OpenEdge& e : rims) parent[find(at(e.a))] = find(at(e.b));
  for (size_t v = 0; v < parent.size(); ++v) parent[v] = find(static_cast<int>(v));
  return parent;
}

// Every edge of the triangles `corners` that belongs to one of them alone,
// edge by edge: each edge under its lower end, the ends sorted.
std::vector<OpenEdge> openEdgesAmong(const std::vector<int>& corners, int vertexCount) {
  std::vector<int> first(vertexCount + 1, 0);
  for (size_t t = 0; t < corners.size(); t += 3) {
    for (int k = 0; k < 3; ++k) ++first[std::min(corners[t + k], corners[t + (k + 1) % 3]) + 1];
  }
  std::partial_sum(first.begin(), first.end(), first.begin());
  std::vector<int> filled(first.begin(), first.end() - 1);
  std::vector<HalfEdge> edges(first.back());
  for (size_t t = 0; t < corners.size(); t += 3) {
    for (int k = 0; k < 3; ++k) {
      int a = corners[t + k], b = corners[t + (k + 1) % 3], c = corners[t + (k + 2) % 3];
      edges[filled[std::min(a, b)]++] = {std::max(a, b), c};
    }
  }
  std::vector<OpenEdge> open;
  for (int low = 0; low < vertexCount; ++low) {
    auto begin = edges.begin() + first[low], end = edges.begin() + first[low + 1];
    std::sort(begin, end, [](const HalfEdge& x, const HalfEdge& y) { return x.other < y.other; });
    for (auto e = begin; e != end; ++e) {
      bool single = (e == begin || (e - 1)->other != e->other) &&
                    (e + 1 == end || (e + 1)->other != e->other);
      if (single && e->other != low) open.push_back({low, e->other, e->third});
    }
  }
  return open;
}

}  // namespace

std::vector<OpenEdge> openEdgesOf(const std::vector<int>& corners, int vertexCount) {
  // Each triangle adds, at each corner, the hash of the corner after it and takes away the
  // hash of the one before: where every edge has a twin running the other way, as on a
  // closed surface wound one way, the sums vanish. The few vertices where they do not
  // are looked at edge by edge.
  auto hash = [](uint64_t v) {
    v = (v + 1) * 0x9e3779b97f4a7c15ULL;
    v = (v ^ (v >> 30)) * 0xbf58476d1ce4e5b9ULL;
    return v ^ (v >> 31);
  };
  std::vector<uint64_t> sums(vertexCount, 0);
  for (size_t t = 0; t < corners.size(); t += 3) {
    uint64_t h[3] = {hash(corners[t]), hash(corners[t + 1]), hash(corners[t + 2])};
    for (int k = 0; k < 3; ++k) sums[corners[t + k]] += h[(k + 1) % 3] - h[(k + 2) % 3];
  }
  std::vector<int> suspect;
  for (size_t t = 0; t < corners.size(); t += 3) {
    if (sums[corners[t]] || sums[corners[t + 1]] || sums[corners[t + 2]]) {
      suspect.insert(suspect.end(), {corners[t], corners[t + 1], corners[t + 2]});
    }
  }
  std::vector<OpenEdge> open = openEdgesAmong(suspect, vertexCount);
  // An edge of those triangles between two vertices whose sums vanish has its twin elsewhere.
  open.erase(std::remove_if(open.begin(), open.end(),
                            [&sums](const OpenEdge& e) { return !sums[e.a] || !sums[e.b]; }),
             open.end());
  return open;
}

size_t HoleRims::CellHash::operator()(const Cell& c) const {
  uint64_t h = static_cast<uint64_t>(c.x) * 0x9e3779b97f4a7c15ULL;
  h ^= static_cast<uint64_t>(c.y) * 0xbf58476d1ce4e5b9ULL + (h << 6) + (h >> 2);
  h ^= static_cast<uint64_t>(c.z) * 0x94d049bb133111ebULL + (h << 6) + (h >> 2);
  return static_cast<size_t>(h);
}

HoleRims::Cell HoleRims::cellOf(const Coord3& p) const {
  // Held within a long long, however far p lies or however short the longest rim edge.
  auto cell = [this](double v) {
    return static_cast<long long>(std::clamp(std::floor(v / cellSize_), -1e15, 1e15));
  };
  return {cell(p.x), cell(p.y), cell(p.z)};
}

HoleRims::HoleRims(const PointSet& surface, const std::vector<OpenEdge>& open,
                   const IndexedSurface& cortical) {
  std::vector<OpenEdge> rims;
  for (const OpenEdge& e : open) {
    if (underCortex(surface.point(e.a), surface.point(e.b), surface.point(e.third), cortical)) {
      rims.push_back(e);
    }
  }
  for (const OpenEdge& e : rims) {
    rims_.insert(rims_.end(), {surface.point(e.a), surface.point(e.b)});
    cellSize_ =
        std::max(cellSize_, vectorLength(difference(surface.point(e.b), surface.point(e.a))));
  }
  if (rims.empty() || !(cellSize_ > 0)) return;
  // A cell is as wide as the longest edge: an edge's box, a little wider, meets at most eight.
  for (int k = 0; k < rimEdges(); ++k) {
    const Coord3 &a = rims_[2 * k], &b = rims_[2 * k + 1];
    double pad = kOnRim * cellSize_;
    Cell lo =
        cellOf({std::min(a.x, b.x) - pad, std::min(a.y, b.y) - pad, std::min(a.z, b.z) - pad});
    Cell hi =
        cellOf({std::max(a.x, b.x) + pad, std::max(a.y, b.y) + pad, std::max(a.z, b.z) + pad});
    for (long long x = lo.x; x <= hi.x; ++x)
      for (long long y = lo.y; y <= hi.y; ++y)
        for (long long z = lo.z; z <= hi.z; ++z) cells_[{x, y, z}].push_back(k);
  }
  std::vector<int> vertices;
  std::vector<int> hole = holesOf(rims, vertices);
  int holes = 0;
  std::vector<int> capOf(vertices.size(), -1);
  for (size_t v = 0; v < vertices.size(); ++v) {
    if (capOf[hole[v]] < 0) capOf[hole[v]] = holes++;
  }
  // The cap points: the rim vertices, then each hole's mean.
  if (!capPoints_.resize(static_cast<int>(vertices.size()) + holes)) return;
  std::vector<Coord3> means(holes, Coord3{0, 0, 0});
  std::vector<int> counts(holes, 0);
  Coord3* points = reinterpret_cast<Coord3*>(capPoints_.coords());
  for (size_t v = 0; v < vertices.size(); ++v) {
    points[v] = surface.point(vertices[v]);
    int h = capOf[hole[v]];
    means[h] = sum(means[h], points[v]);
    ++counts[h];
  }
  for (int h = 0; h < holes; ++h) points[vertices.size() + h] = scaled(means[h], 1.0 / counts[h]);
  for (const OpenEdge& e : rims) {
    int a = static_cast<int>(std::lower_bound(vertices.begin(), vertices.end(), e.a) -
                             vertices.begin());
    int b = static_cast<int>(std::lower_bound(vertices.begin(), vertices.end(), e.b) -
                             vertices.begin());
    capCorners_.insert(capCorners_.end(),
                       {a, b, static_cast<int>(vertices.size()) + capOf[hole[a]]});
  }
  caps_ = std::make_unique<ClosestPoint>(capPoints_, capCorners_);
}

HoleRims::~HoleRims() = default;

bool HoleRims::onRim(const Coord3& p) const {
  if (cells_.empty()) return false;
  auto cell = cells_.find(cellOf(p));
  if (cell == cells_.end()) return false;
  for (int k : cell->second) {
    const Coord3 &a = rims_[2 * k], &b = rims_[2 * k + 1];
    if (distanceToSegment(p, a, b) <= kOnRim * vectorLength(difference(b, a))) return true;
  }
  return false;
}

double HoleRims::throughHole(const Coord3& origin, const Coord3& direction) const {
  if (!caps_ || caps_->empty()) return std::numeric_limits<double>::infinity();
  std::optional<Coord3> hit = caps_->firstHit(origin, direction);
  return hit ? vectorLength(difference(*hit, origin)) : std::numeric_limits<double>::infinity();
}

int flagHoles(const HoleRims& rims, double rayReach, PassRecord& record, int threads) {
  int n = static_cast<int>(record.quality.size());
  if (rims.rimEdges() == 0) return 0;
  std::vector<char> atHole(n, 0);
  runInRanges(threads, n, [&](int begin, int end) {
    for (int i = begin; i < end; ++i) {
      const Coord3 &p = record.corticalPoints[i], &q = record.trabecularPoints[i];
      const Coord3& normal = record.normals[i];
      // A ray that fell back met nothing it could take: through a hole, if it crossed one.
      double reach =
          record.quality[i] == Quality::kFellBack ? rayReach : vectorLength(difference(q, p));
      atHole[i] = rims.onRim(q) ||
                  (rayReach > 0 && rims.throughHole(p, {-normal.x, -normal.y, -normal.z}) < reach);
    }
  });
  int count = 0;
  for (int i = 0; i < n; ++i) {
    if (!atHole[i]) continue;
    record.quality[i] = std::max(record.quality[i], Quality::kAtHole);
    ++count;
  }
  return count;
}

}  // namespace verdask
