#include "thickness/closest_point.h"

#include <CGAL/Intersections_3/Ray_3_Triangle_3.h>
#include <CGAL/Simple_cartesian.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace verdask {

namespace {

using Kernel = CGAL::Simple_cartesian<double>;
using Point = Kernel::Point_3;
using Triangle = Kernel::Triangle_3;

constexpr int kLeafTriangles = 4;
constexpr int kMortonBits = 10;  // per axis
// Splits at Morton bits, then halvings of equal codes: at most 30 + 32 levels.
constexpr int kMaxDepth = 3 * kMortonBits + 34;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

Point toPoint(const Coord3& c) { return Point(c.x, c.y, c.z); }
Coord3 toCoord(const Point& p) { return {p.x(), p.y(), p.z()}; }
Coord3 operator-(const Coord3& a, const Coord3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Coord3 operator*(const Coord3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(const Coord3& a, const Coord3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Coord3 cross(const Coord3& a, const Coord3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double norm(const Coord3& a) { return std::sqrt(dot(a, a)); }

bool hasArea(const Coord3& a, const Coord3& b, const Coord3& c) {
  Coord3 n = cross(b - a, c - a);
  return n.x != 0 || n.y != 0 || n.z != 0;
}

float roundedDown(double v) {
  float f = static_cast<float>(v);
  return f > v ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
}

float roundedUp(double v) {
  float f = static_cast<float>(v);
  return f < v ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
}

// Spreads the low ten bits of v two bits apart, for a Morton code.
uint32_t spreadBits(uint32_t v) {
  v &= 0x3ff;
  v = (v | (v << 16)) & 0x030000ff;
  v = (v | (v << 8)) & 0x0300f00f;
  v = (v | (v << 4)) & 0x030c30c3;
  v = (v | (v << 2)) & 0x09249249;
  return v;
}

// Sorts keys by their upper 32 bits, keeping the order of equals.
void radixSortByHighWord(std::vector<uint64_t>& keys) {
  std::vector<uint64_t> scratch(keys.size());
  for (int shift = 32; shift < 64; shift += 8) {
    size_t start[257] = {};
    for (uint64_t key : keys) ++start[((key >> shift) & 0xff) + 1];
    for (int b = 0; b < 256; ++b) start[b + 1] += start[b];
    for (uint64_t key : keys) scratch[start[(key >> shift) & 0xff]++] = key;
    keys.swap(scratch);
  }
}

uint32_t codeOf(uint64_t key) { return static_cast<uint32_t>(key >> 32); }
int triangleOf(uint64_t key) { return static_cast<int>(key & 0xffffffffu); }

// The squared distance from p to triangle abc, for sorting out triangles
// before the exact construction; -1 where the triangle is too thin to tell.
double roughSquaredDistance(const Coord3& p, const Coord3& a, const Coord3& b, const Coord3& c) {
  Coord3 ab = b - a, ac = c - a, ap = p - a, bp = p - b, cp = p - c;
  double d1 = dot(ab, ap), d2 = dot(ac, ap), d3 = dot(ab, bp), d4 = dot(ac, bp);
  double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d1 <= 0 && d2 <= 0) return dot(ap, ap);
  if (d3 >= 0 && d4 <= d3) return dot(bp, bp);
  if (d6 >= 0 && d5 <= d6) return dot(cp, cp);
  double vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
  Coord3 off;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) {
    off = ap - ab * (d1 / (d1 - d3));
  } else if (vb <= 0 && d2 >= 0 && d6 <= 0) {
    off = ap - ac * (d2 / (d2 - d6));
  } else if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
    off = bp - (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
  } else {
    double area = va + vb + vc;
    if (!(area > 1e-8 * dot(ab, ab) * dot(ac, ac))) return -1;
    off = ap - ab * (vb / area) - ac * (vc / area);
  }
  return dot(off, off);
}

// Whether the ray o + t d may meet triangle abc at a t of at most `before`:
// a test with slack, whose yes CGAL's construction then decides.
bool mayMeet(const Coord3& o, const Coord3& d, const Coord3& a, const Coord3& b, const Coord3& c,
             double before) {
  constexpr double kSlack = 1e-6;
  Coord3 e1 = b - a, e2 = c - a, s = o - a;
  Coord3 pv = cross(d, e2);
  double det = dot(e1, pv);
  // Running along the triangle's plane: left to CGAL.
  if (!(std::fabs(det) > 1e-9 * norm(e1) * norm(e2) * norm(d))) return true;
  double u = dot(s, pv) / det;
  if (u < -kSlack || u > 1 + kSlack) return false;
  Coord3 qv = cross(s, e1);
  double v = dot(d, qv) / det;
  if (v < -kSlack || u + v > 1 + kSlack) return false;
  double t = dot(e2, qv) / det;
  double slack = kSlack * (norm(s) + norm(e1) + norm(e2)) / norm(d);
  return t >= -slack && t <= before + slack;
}

double boxSquaredDistance(const float lo[3], const float hi[3], const Coord3& q) {
  const double c[3] = {q.x, q.y, q.z};
  double squared = 0;
  for (int k = 0; k < 3; ++k) {
    double outside = std::max(lo[k] - c[k], c[k] - hi[k]);
    if (outside > 0) squared += outside * outside;
  }
  return squared;
}

// Where the ray o + t d, t >= 0, enters the box; infinity where it misses it.
double boxEntry(const float lo[3], const float hi[3], const Coord3& o, const Coord3& d) {
  const double origin[3] = {o.x, o.y, o.z}, direction[3] = {d.x, d.y, d.z};
  double enter = 0, leave = kInfinity;
  for (int k = 0; k < 3; ++k) {
    if (direction[k] == 0) {
      if (origin[k] < lo[k] || origin[k] > hi[k]) return kInfinity;
      continue;
    }
    double t0 = (lo[k] - origin[k]) / direction[k], t1 = (hi[k] - origin[k]) / direction[k];
    enter = std::max(enter, std::min(t0, t1));
    leave = std::min(leave, std::max(t0, t1));
  }
  return enter <= leave ? enter : kInfinity;
}

// The best answer so far: the least value, ties to the lowest triangle.
struct Best {
  double value = kInfinity;
  int triangle = -1;
  Point point = Point(0, 0, 0);
  bool beatenBy(double v, int t) const { return v < value || (v == value && t < triangle); }
};

// A triangle that may hold the closest point: no nearer than `lower`, squared.
struct Candidate {
  int triangle;
  double lower;
};

// A node waiting on the traversal stack, with its distance from the query.
struct Pending {
  int node;
  double distance;
};

}  // namespace

ClosestPoint::ClosestPoint(const PointSet& points, const std::vector<int>& corners)
    : points_(points), corners_(corners.data()) {
  // Triangles without area are left out: where many coincide, their boxes all
  // overlap and every query would visit each of them.
  std::vector<uint64_t> keys;
  for (int t = 0; t < static_cast<int>(corners.size() / 3); ++t) {
    const int* c = &corners[3 * static_cast<size_t>(t)];
    if (hasArea(points.point(c[0]), points.point(c[1]), points.point(c[2])))
      keys.push_back(static_cast<uint64_t>(t));
  }
  if (!keys.empty()) build(keys);
}

// Orders the triangles along a Morton curve through their centres and cuts
// the order where the codes first differ: a tree of nested grid cells.
void ClosestPoint::build(std::vector<uint64_t>& keys) {
  auto centre = [&](uint64_t key) {
    const int* c = corners_ + 3 * static_cast<size_t>(triangleOf(key));
    const Coord3 &a = points_.point(c[0]), &b = points_.point(c[1]), &d = points_.point(c[2]);
    return Coord3{(a.x + b.x + d.x) / 3, (a.y + b.y + d.y) / 3, (a.z + b.z + d.z) / 3};
  };
  Coord3 lo{kInfinity, kInfinity, kInfinity}, hi = lo * -1;
  double magnitude = 0;
  for (uint64_t key : keys) {
    Coord3 m = centre(key);
    lo = {std::min(lo.x, m.x), std::min(lo.y, m.y), std::min(lo.z, m.z)};
    hi = {std::max(hi.x, m.x), std::max(hi.y, m.y), std::max(hi.z, m.z)};
    const int* c = corners_ + 3 * static_cast<size_t>(triangleOf(key));
    for (int k = 0; k < 3; ++k) {
      const Coord3& p = points_.point(c[k]);
      magnitude = std::max({magnitude, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
    }
  }
  // Far beyond rounding, so no box or rough distance passes over a triangle that counts.
  pad_ = 1e-7 * magnitude;
  Coord3 extent = hi - lo;
  double largest = std::max({extent.x, extent.y, extent.z});
  double cells = (1 << kMortonBits) - 0.5, scale = largest > 0 ? cells / largest : 0;
  auto cell = [&](double v, double from) {
    double f = (v - from) * scale;
    return f > 0 ? static_cast<uint32_t>(std::min(f, cells)) : 0u;
  };
  for (uint64_t& key : keys) {
    Coord3 m = centre(key);
    uint64_t code = spreadBits(cell(m.x, lo.x)) << 2 | spreadBits(cell(m.y, lo.y)) << 1 |
                    spreadBits(cell(m.z, lo.z));
    key |= code << 32;
  }
  radixSortByHighWord(keys);
  order_.resize(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) order_[i] = triangleOf(keys[i]);
  // At most two nodes per triangle; pages never written are never taken.
  nodes_.reserve(2 * keys.size());
  buildNode(keys, 0, static_cast<int>(keys.size()));
}

int ClosestPoint::buildNode(const std::vector<uint64_t>& keys, int begin, int end) {
  int index = static_cast<int>(nodes_.size());
  nodes_.emplace_back();
  if (end - begin <= kLeafTriangles) {
    double lo[3] = {kInfinity, kInfinity, kInfinity}, hi[3] = {-kInfinity, -kInfinity, -kInfinity};
    for (int i = begin; i < end; ++i) {
      const int* c = corners_ + 3 * static_cast<size_t>(order_[i]);
      for (int k = 0; k < 3; ++k) {
        const Coord3& p = points_.point(c[k]);
        const double xyz[3] = {p.x, p.y, p.z};
        for (int axis = 0; axis < 3; ++axis) {
          lo[axis] = std::min(lo[axis], xyz[axis]);
          hi[axis] = std::max(hi[axis], xyz[axis]);
        }
      }
    }
    Node& leaf = nodes_[index];
    for (int axis = 0; axis < 3; ++axis) {
      leaf.lo[axis] = roundedDown(lo[axis] - pad_);
      leaf.hi[axis] = roundedUp(hi[axis] + pad_);
    }
    leaf.start = begin;
    leaf.count = end - begin;
    return index;
  }
  uint32_t first = codeOf(keys[begin]), last = codeOf(keys[end - 1]);
  int split = (begin + end) / 2;
  if (first != last) {
    uint32_t bit = 1u << (31 - __builtin_clz(first ^ last));
    split =
        static_cast<int>(std::partition_point(keys.begin() + begin, keys.begin() + end,
                                              [&](uint64_t key) { return !(codeOf(key) & bit); }) -
                         keys.begin());
  }
  buildNode(keys, begin, split);
  int second = buildNode(keys, split, end);
  Node& node = nodes_[index];
  const Node &left = nodes_[index + 1], &right = nodes_[second];
  for (int axis = 0; axis < 3; ++axis) {
    node.lo[axis] = std::min(left.lo[axis], right.lo[axis]);
    node.hi[axis] = std::max(left.hi[axis], right.hi[axis]);
  }
  node.start = second;
  node.count = 0;
  return index;
}

template <typename Visit>
void ClosestPoint::visitLeaf(const Node& leaf, Visit visit) const {
  for (int i = leaf.start; i < leaf.start + leaf.count; ++i) {
    const int* c = corners_ + 3 * static_cast<size_t>(order_[i]);
    visit(order_[i], points_.point(c[0]), points_.point(c[1]), points_.point(c[2]));
  }
}

ClosestPoint::Hit ClosestPoint::closest(const Coord3& query) const {
  assert(!empty());
  // The triangles the rough distances cannot rule out, constructed exactly once the search is done.
  thread_local std::vector<Candidate> candidates;
  candidates.clear();
  double limit = kInfinity;  // no box or triangle further than this holds the closest point
  Pending stack[kMaxDepth + 1];
  int size = 0;
  stack[size++] = {0, boxSquaredDistance(nodes_[0].lo, nodes_[0].hi, query)};
  while (size > 0) {
    Pending pending = stack[--size];
    if (pending.distance > limit) continue;
    const Node& node = nodes_[pending.node];
    if (node.count > 0) {
      visitLeaf(node, [&](int t, const Coord3& a, const Coord3& b, const Coord3& c) {
        double lower = roughSquaredDistance(query, a, b, c), upper = lower;
        if (lower < 0) {
          lower = 0;
          upper = std::min(
              {dot(query - a, query - a), dot(query - b, query - b), dot(query - c, query - c)});
        }
        if (lower > limit) return;
        candidates.push_back({t, lower});
        limit = std::min(limit, (std::sqrt(upper) + pad_) * (std::sqrt(upper) + pad_));
      });
      continue;
    }
    Pending near{pending.node + 1, 0}, far{node.start, 0};
    near.distance = boxSquaredDistance(nodes_[near.node].lo, nodes_[near.node].hi, query);
    far.distance = boxSquaredDistance(nodes_[far.node].lo, nodes_[far.node].hi, query);
    if (far.distance < near.distance) std::swap(near, far);
    assert(size + 2 <= kMaxDepth + 1);
    if (far.distance <= limit) stack[size++] = far;
    if (near.distance <= limit) stack[size++] = near;
  }
  const Point q = toPoint(query);
  Best best;
  for (const Candidate& candidate : candidates) {
    if (candidate.lower > limit) continue;
    const int* c = corners_ + 3 * static_cast<size_t>(candidate.triangle);
    Triangle triangle(toPoint(points_.point(c[0])), toPoint(points_.point(c[1])),
                      toPoint(points_.point(c[2])));
    Point p = Kernel::Construct_projected_point_3()(triangle, q);
    double squared = CGAL::squared_distance(q, p);
    if (best.beatenBy(squared, candidate.triangle)) best = {squared, candidate.triangle, p};
  }
  return {toCoord(best.point), best.triangle};
}

std::optional<Coord3> ClosestPoint::firstHit(const Coord3& origin, const Coord3& direction) const {
  bool usable = std::isfinite(direction.x) && std::isfinite(direction.y) &&
                std::isfinite(direction.z) &&
                (direction.x != 0 || direction.y != 0 || direction.z != 0);
  if (empty() || !usable) return std::nullopt;
  const Kernel::Ray_3 ray(toPoint(origin), Kernel::Vector_3(direction.x, direction.y, direction.z));
  // How far along the ray a point lies, measured as CGAL measures it: on the
  // direction's largest axis.
  const double d[3] = {direction.x, direction.y, direction.z};
  int axis = 0;
  for (int k = 1; k < 3; ++k)
    if (std::fabs(d[k]) > std::fabs(d[axis])) axis = k;
  auto along = [&](const Point& p) { return (p[axis] - ray.source()[axis]) / d[axis]; };
  Best best;
  Pending stack[kMaxDepth + 1];
  int size = 0;
  stack[size++] = {0, boxEntry(nodes_[0].lo, nodes_[0].hi, origin, direction)};
  while (size > 0) {
    Pending pending = stack[--size];
    if (pending.distance > best.value || pending.distance == kInfinity) continue;
    const Node& node = nodes_[pending.node];
    if (node.count > 0) {
      visitLeaf(node, [&](int t, const Coord3& a, const Coord3& b, const Coord3& c) {
        if (!mayMeet(origin, direction, a, b, c, best.value)) return;
        auto meeting = CGAL::intersection(ray, Triangle(toPoint(a), toPoint(b), toPoint(c)));
        if (!meeting) return;
        Point where;
        if (const Point* point = boost::get<Point>(&*meeting)) {
          where = *point;
        } else {
          // The ray runs in the triangle's plane: the segment's end nearer the origin.
          const Kernel::Segment_3& segment = boost::get<Kernel::Segment_3>(*meeting);
          where = CGAL::squared_distance(segment.source(), ray.source()) <=
                          CGAL::squared_distance(segment.target(), ray.source())
                      ? segment.source()
                      : segment.target();
        }
        if (best.beatenBy(along(where), t)) best = {along(where), t, where};
      });
      continue;
    }
    Pending near{pending.node + 1, 0}, far{node.start, 0};
    near.distance = boxEntry(nodes_[near.node].lo, nodes_[near.node].hi, origin, direction);
    far.distance = boxEntry(nodes_[far.node].lo, nodes_[far.node].hi, origin, direction);
    if (far.distance < near.distance) std::swap(near, far);
    // A box the ray misses is infinitely far: never nearer than the best.
    if (far.distance < kInfinity && far.distance <= best.value) stack[size++] = far;
    if (near.distance < kInfinity && near.distance <= best.value) stack[size++] = near;
  }
  if (best.triangle < 0) return std::nullopt;
  return toCoord(best.point);
}

}  // namespace verdask
