#include "thickness/closest_point.h"

#include <CGAL/Intersections_3/Ray_3_Triangle_3.h>
#include <CGAL/Simple_cartesian.h>

#include <algorithm>
#include <boost/variant.hpp>
#include <cassert>
#include <cmath>
#include <limits>
#include <variant>

#include "thickness/thickness.h"

namespace verdask {

namespace {

using Kernel = CGAL::Simple_cartesian<double>;
using Point = Kernel::Point_3;
using Triangle = Kernel::Triangle_3;

constexpr int kLeafTriangles = 12;
constexpr int kMortonBits = 10;  // per axis
// Levels cut in space. Deeper ones, reached only where the grids of crowded cells
// nest (as a crafted file's coordinates can make them), are cut in the middle of
// their order: at most 16 more levels for 2^31 triangles.
constexpr int kSpatialLevels = 40;
constexpr int kMaxLevels = kSpatialLevels + 16;
constexpr int kStackSize = 3 * kMaxLevels + 1;  // a level leaves at most three children
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// CGAL 5 returns an intersection as a boost::variant, CGAL 6 as a std::variant.
template <typename T, typename... Kinds>
const T* alternative(const boost::variant<Kinds...>& meeting) {
  return boost::get<T>(&meeting);
}
template <typename T, typename... Kinds>
const T* alternative(const std::variant<Kinds...>& meeting) {
  return std::get_if<T>(&meeting);
}

Point toPoint(const Coord3& c) { return Point(c.x, c.y, c.z); }
Coord3 toCoord(const Point& p) { return {p.x(), p.y(), p.z()}; }
// Operators for the formulas below, which are dense with them.
Coord3 operator-(const Coord3& a, const Coord3& b) { return difference(a, b); }
Coord3 operator*(const Coord3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double largestCoordinate(const Coord3& a) {
  return std::max({std::fabs(a.x), std::fabs(a.y), std::fabs(a.z)});
}

bool hasArea(const Coord3& a, const Coord3& b, const Coord3& c) {
  Coord3 n = crossProduct(b - a, c - a);
  return n.x != 0 || n.y != 0 || n.z != 0;
}

// A float at most v, and one at least v: boxes stored in floats still hold
// their triangles, coordinates beyond a float's range included.
constexpr float kFloatMax = std::numeric_limits<float>::max();
constexpr float kFloatInfinity = std::numeric_limits<float>::infinity();

float roundedDown(double v) {
  if (v >= kFloatMax) return kFloatMax;
  if (v <= -kFloatMax) return -kFloatInfinity;
  float f = static_cast<float>(v);
  return f > v ? std::nextafter(f, -kFloatInfinity) : f;
}

float roundedUp(double v) { return -roundedDown(-v); }

// Spreads the low ten bits of v two bits apart, for a Morton code.
uint32_t spreadBits(uint32_t v) {
  v &= 0x3ff;
  v = (v | (v << 16)) & 0x030000ff;
  v = (v | (v << 8)) & 0x0300f00f;
  v = (v | (v << 4)) & 0x030c30c3;
  v = (v | (v << 2)) & 0x09249249;
  return v;
}

// Sorts keys by the Morton code in their upper word, keeping the order of equals.
void sortByCode(uint64_t* begin, uint64_t* end) {
  constexpr int kDigitBits = kMortonBits;
  std::vector<uint64_t> scratch(end - begin);
  for (int shift = 32; shift < 32 + 3 * kMortonBits; shift += kDigitBits) {
    size_t start[(1 << kDigitBits) + 1] = {};
    auto digit = [&](uint64_t key) { return (key >> shift) & ((1 << kDigitBits) - 1); };
    for (const uint64_t* key = begin; key != end; ++key) ++start[digit(*key) + 1];
    for (int b = 0; b < 1 << kDigitBits; ++b) start[b + 1] += start[b];
    for (const uint64_t* key = begin; key != end; ++key) scratch[start[digit(*key)]++] = *key;
    std::copy(scratch.begin(), scratch.end(), begin);
  }
}

uint32_t codeOf(uint64_t key) { return static_cast<uint32_t>(key >> 32); }
int triangleOf(uint64_t key) { return static_cast<int>(key & 0xffffffffu); }

// The squared distance from p to triangle abc, for sorting out triangles
// before the exact construction; -1 where the triangle is too thin to tell.
double roughSquaredDistance(const Coord3& p, const Coord3& a, const Coord3& b, const Coord3& c) {
  Coord3 ab = b - a, ac = c - a, ap = p - a, bp = p - b, cp = p - c;
  double d1 = dotProduct(ab, ap), d2 = dotProduct(ac, ap), d3 = dotProduct(ab, bp),
         d4 = dotProduct(ac, bp);
  double d5 = dotProduct(ab, cp), d6 = dotProduct(ac, cp);
  if (d1 <= 0 && d2 <= 0) return dotProduct(ap, ap);
  if (d3 >= 0 && d4 <= d3) return dotProduct(bp, bp);
  if (d6 >= 0 && d5 <= d6) return dotProduct(cp, cp);
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
    if (!(area > 1e-8 * dotProduct(ab, ab) * dotProduct(ac, ac))) return -1;
    off = ap - ab * (vb / area) - ac * (vc / area);
  }
  return dotProduct(off, off);
}

// Whether the ray o + t d may meet triangle abc at a t of at most `before`:
// a test with slack, whose yes CGAL's construction then decides.
bool mayMeet(const Coord3& o, const Coord3& d, const Coord3& a, const Coord3& b, const Coord3& c,
             double before) {
  constexpr double kSlack = 1e-6;
  Coord3 e1 = b - a, e2 = c - a, s = o - a;
  Coord3 pv = crossProduct(d, e2);
  double det = dotProduct(e1, pv);
  // Running along the triangle's plane: left to CGAL.
  if (!(std::fabs(det) > 1e-9 * vectorLength(e1) * vectorLength(e2) * vectorLength(d))) return true;
  double u = dotProduct(s, pv) / det;
  if (u < -kSlack || u > 1 + kSlack) return false;
  Coord3 qv = crossProduct(s, e1);
  double v = dotProduct(d, qv) / det;
  if (v < -kSlack || u + v > 1 + kSlack) return false;
  double t = dotProduct(e2, qv) / det;
  double slack = kSlack * (vectorLength(s) + vectorLength(e1) + vectorLength(e2)) / vectorLength(d);
  return t >= -slack && t <= before + slack;
}

// How far each child box of a node lies from q, squared; infinity for no child.
void childSquaredDistances(const float lo[3][4], const float hi[3][4], const Coord3& q,
                           double distance[4]) {
  const double c[3] = {q.x, q.y, q.z};
  // No child: an empty box, infinitely far. Written for the compiler to take
  // two or four children at once.
  for (int k = 0; k < 4; ++k) distance[k] = 0;
  for (int axis = 0; axis < 3; ++axis) {
    for (int k = 0; k < 4; ++k) {
      double below = lo[axis][k] - c[axis], above = c[axis] - hi[axis][k];
      double outside = below > above ? below : above;
      outside = outside > 0 ? outside : 0;
      distance[k] += outside * outside;
    }
  }
}

double alongAxis(const float axis[3], const Coord3& p) {
  return axis[0] * p.x + axis[1] * p.y + axis[2] * p.z;
}

// How far q lies from a box in a frame of near unit axes, squared, made a
// little smaller for the axes' rounding to float.
double frameSquaredDistance(const float axis[3][3], const float lo[3], const float hi[3],
                            const Coord3& q) {
  double squared = 0;
  for (int k = 0; k < 3; ++k) {
    double along = alongAxis(axis[k], q);
    double outside = std::max({lo[k] - along, along - hi[k], 0.0});
    squared += outside * outside;
  }
  return squared * (1 - 1e-6);
}

// Where the ray o + t d, t >= 0, enters each child box of a node, made
// earlier by `slack` and a ten-billionth for rounding; infinity where it
// misses one, or there is no child.
void childEntries(const float lo[3][4], const float hi[3][4], const int count[4], const Coord3& o,
                  const Coord3& d, double slack, double entry[4]) {
  const double origin[3] = {o.x, o.y, o.z}, direction[3] = {d.x, d.y, d.z};
  for (int k = 0; k < 4; ++k) {
    double enter = 0, leave = kInfinity;
    for (int axis = 0; axis < 3; ++axis) {
      if (direction[axis] == 0) {
        if (origin[axis] < lo[axis][k] || origin[axis] > hi[axis][k]) leave = -1;
        continue;
      }
      double t0 = (lo[axis][k] - origin[axis]) / direction[axis];
      double t1 = (hi[axis][k] - origin[axis]) / direction[axis];
      enter = std::max(enter, std::min(t0, t1));
      leave = std::min(leave, std::max(t0, t1));
    }
    double tolerance = slack + 1e-10 * enter;
    entry[k] = count[k] >= 0 && enter <= leave + tolerance ? enter - tolerance : kInfinity;
  }
}

// The best answer so far: the least value, ties to the lowest triangle.
struct Best {
  double value = kInfinity;
  int triangle = -1;
  Point point = Point(0, 0, 0);
  bool beatenBy(double v, int t) const { return v < value || (v == value && t < triangle); }
};

// A child waiting on the traversal stack, with its distance from the query.
struct StackedChild {
  int first, count;  // as the node holds them
  double distance;
};

// Pushes a node's children within `limit`, the nearest last, to be taken first.
void pushChildren(const int first[4], const int count[4], const double distance[4], double limit,
                  StackedChild* stack, int& size) {
  int start = size;
  for (int k = 0; k < 4; ++k) {
    if (!(distance[k] <= limit) || distance[k] == kInfinity) continue;
    StackedChild child{first[k], count[k], distance[k]};
    int at = size++;
    for (; at > start && stack[at - 1].distance < child.distance; --at) stack[at] = stack[at - 1];
    stack[at] = child;
  }
  assert(size <= kStackSize);
}

// Where the ray meets the triangle, if it does, kept in `best` when nearer
// along `axis`. A ray in the triangle's plane meets it in a segment: its end
// nearer the origin.
void meetTriangle(const Kernel::Ray_3& ray, int axis, int t, const Triangle& triangle, Best& best) {
  // A triangle with an area in doubles from one corner can be flat from another
  // (a corner 1e58 away): CGAL's intersection takes no flat triangle.
  if (triangle.is_degenerate()) return;
  auto meeting = CGAL::intersection(ray, triangle);
  if (!meeting) return;
  Point where;
  if (const Point* point = alternative<Point>(*meeting)) {
    where = *point;
  } else {
    const Kernel::Segment_3& segment = *alternative<Kernel::Segment_3>(*meeting);
    where = CGAL::squared_distance(segment.source(), ray.source()) <=
                    CGAL::squared_distance(segment.target(), ray.source())
                ? segment.source()
                : segment.target();
  }
  double along = (where[axis] - ray.source()[axis]) / ray.to_vector()[axis];
  if (best.beatenBy(along, t)) best = {along, t, where};
}

}  // namespace

ClosestPoint::ClosestPoint(const PointSet& points, const std::vector<int>& corners)
    : points_(points), corners_(corners.data()) {
  // Triangles without area are left out: where many coincide, their boxes all
  // overlap and every query would visit each of them.
  std::vector<uint64_t> keys;
  keys.reserve(corners.size() / 3);
  double magnitude = 0;
  for (int t = 0; t < static_cast<int>(corners.size() / 3); ++t) {
    const int* c = &corners[3 * static_cast<size_t>(t)];
    const Coord3 &a = points.point(c[0]), &b = points.point(c[1]), &d = points.point(c[2]);
    if (!hasArea(a, b, d)) continue;
    keys.push_back(static_cast<uint64_t>(t));
    magnitude =
        std::max({magnitude, largestCoordinate(a), largestCoordinate(b), largestCoordinate(d)});
  }
  if (keys.empty()) return;
  // A million times double rounding, so no box or rough distance passes over a triangle
  // that counts; yet small, so one stray far triangle cannot widen every box.
  pad_ = 1e-10 * magnitude;
  build(keys);
}

Coord3 ClosestPoint::centreOf(uint64_t key) const {
  const int* c = corners_ + 3 * static_cast<size_t>(triangleOf(key));
  const Coord3 &a = points_.point(c[0]), &b = points_.point(c[1]), &d = points_.point(c[2]);
  return {(a.x + b.x + d.x) / 3, (a.y + b.y + d.y) / 3, (a.z + b.z + d.z) / 3};
}

// Orders the triangles along a Morton curve through their centres and cuts
// the order where the codes first differ: a tree of nested grid cells.
void ClosestPoint::build(std::vector<uint64_t>& keys) {
  order_.resize(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) order_[i] = triangleOf(keys[i]);
  code(keys.data(), keys.data() + keys.size(), 0);
  // Guesses, not bounds: a node has two to four children, a leaf up to
  // kLeafTriangles triangles; pages reserved but never written are never taken.
  nodes_.reserve(keys.size() / 8 + 1);
  leaves_.reserve(keys.size() / 4 + 1);
  Box box;
  buildNode(keys, 0, static_cast<int>(keys.size()), 0, box);
}

// Gives the keys of [begin, end) Morton codes in a grid over their own
// centres and sorts them; nothing changes where every centre is the same.
// `first` is begin's place in order_.
void ClosestPoint::code(uint64_t* begin, uint64_t* end, int first) {
  Coord3 lo{kInfinity, kInfinity, kInfinity}, hi = lo * -1;
  for (const uint64_t* key = begin; key != end; ++key) {
    Coord3 m = centreOf(*key);
    lo = {std::min(lo.x, m.x), std::min(lo.y, m.y), std::min(lo.z, m.z)};
    hi = {std::max(hi.x, m.x), std::max(hi.y, m.y), std::max(hi.z, m.z)};
  }
  double largest = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
  if (!(largest > 0)) return;
  double cells = (1 << kMortonBits) - 0.5, scale = cells / largest;
  auto cell = [&](double v, double from) {
    double f = (v - from) * scale;
    return f > 0 ? static_cast<uint32_t>(std::min(f, cells)) : 0u;
  };
  for (uint64_t* key = begin; key != end; ++key) {
    Coord3 m = centreOf(*key);
    uint64_t code = spreadBits(cell(m.x, lo.x)) << 2 | spreadBits(cell(m.y, lo.y)) << 1 |
                    spreadBits(cell(m.z, lo.z));
    *key = (*key & 0xffffffffu) | code << 32;
  }
  sortByCode(begin, end);
  for (const uint64_t* key = begin; key != end; ++key) order_[first++] = triangleOf(*key);
}

namespace {

// Where to cut a range of the Morton order: where its codes first differ, or
// in the middle of equal codes.
int cutOf(const std::vector<uint64_t>& keys, int begin, int end) {
  uint32_t first = codeOf(keys[begin]), last = codeOf(keys[end - 1]);
  if (first == last) return begin + (end - begin) / 2;
  uint32_t bit = 1u << (31 - __builtin_clz(first ^ last));
  auto cut = std::partition_point(keys.begin() + begin, keys.begin() + end,
                                  [&](uint64_t key) { return !(codeOf(key) & bit); });
  return static_cast<int>(cut - keys.begin());
}

}  // namespace

// A node over [begin, end) at `level` (the root's 0): the range cut in two,
// and each half of more than a leaf's triangles cut again.
int ClosestPoint::buildNode(std::vector<uint64_t>& keys, int begin, int end, int level, Box& box) {
  assert(level < kMaxLevels);
  int index = static_cast<int>(nodes_.size());
  nodes_.emplace_back();
  bool spatial = level < kSpatialLevels;
  // A grid cell holding many leaves (the grid spread by a far triangle) gets a
  // grid of its own, so it still splits in space; a few are halved in order.
  if (spatial && end - begin > 8 * kLeafTriangles && codeOf(keys[begin]) == codeOf(keys[end - 1]))
    code(keys.data() + begin, keys.data() + end, begin);
  auto cut = [&](int from, int to) {
    return spatial ? cutOf(keys, from, to) : from + (to - from) / 2;
  };
  int bounds[5] = {begin}, parts = 0;
  int halves[3] = {begin, end - begin > kLeafTriangles ? cut(begin, end) : end, end};
  for (int h = 0; h < 2; ++h) {
    if (halves[h] == halves[h + 1]) continue;
    if (halves[h + 1] - halves[h] > kLeafTriangles) bounds[++parts] = cut(halves[h], halves[h + 1]);
    bounds[++parts] = halves[h + 1];
  }
  box = {{kFloatInfinity, kFloatInfinity, kFloatInfinity},
         {-kFloatInfinity, -kFloatInfinity, -kFloatInfinity}};
  for (int k = 0; k < 4; ++k) {
    Box child = box;
    int first = 0, count = -1;
    if (k < parts) {
      int from = bounds[k], to = bounds[k + 1];
      bool leaf = to - from <= kLeafTriangles;
      first = leaf ? static_cast<int>(leaves_.size()) : buildNode(keys, from, to, level + 1, child);
      count = leaf ? to - from : 0;
      if (leaf) leaves_.push_back(leafOf(from, to, child));
    }
    Node& node = nodes_[index];
    node.first[k] = first;
    node.count[k] = count;
    for (int axis = 0; axis < 3; ++axis) {
      node.lo[axis][k] = count < 0 ? kFloatInfinity : child.lo[axis];
      node.hi[axis][k] = count < 0 ? -kFloatInfinity : child.hi[axis];
      if (count < 0) continue;
      box.lo[axis] = std::min(box.lo[axis], child.lo[axis]);
      box.hi[axis] = std::max(box.hi[axis], child.hi[axis]);
    }
  }
  return index;
}

// Unit axes for a leaf's frame, the last along the sum of its triangles'
// normals; the coordinate axes where that sum vanishes.
void ClosestPoint::leafAxes(int begin, int end, Coord3 axes[3]) const {
  Coord3 normal{0, 0, 0};
  for (int i = begin; i < end; ++i) {
    const int* c = corners_ + 3 * static_cast<size_t>(order_[i]);
    const Coord3 &a = points_.point(c[0]), &b = points_.point(c[1]), &d = points_.point(c[2]);
    Coord3 n = crossProduct(b - a, d - a);
    normal = {normal.x + n.x, normal.y + n.y, normal.z + n.z};
  }
  axes[0] = {1, 0, 0}, axes[1] = {0, 1, 0}, axes[2] = {0, 0, 1};
  double length = vectorLength(normal);
  if (!(length > 0) || !std::isfinite(length)) return;
  Coord3 n = normal * (1 / length);
  double m[3] = {std::fabs(n.x), std::fabs(n.y), std::fabs(n.z)};
  Coord3 across = axes[m[0] <= m[1] && m[0] <= m[2] ? 0 : m[1] <= m[2] ? 1 : 2];
  Coord3 first = crossProduct(n, across);
  axes[0] = first * (1 / vectorLength(first));
  axes[1] = crossProduct(n, axes[0]);
  axes[2] = n;
}

// The leaf over [begin, end), and its box on the coordinate axes.
ClosestPoint::Leaf ClosestPoint::leafOf(int begin, int end, Box& box) const {
  Coord3 axes[3];
  leafAxes(begin, end, axes);
  Leaf leaf;
  double lo[3] = {kInfinity, kInfinity, kInfinity}, hi[3] = {-kInfinity, -kInfinity, -kInfinity};
  for (int k = 0; k < 3; ++k) {
    leaf.axis[k][0] = static_cast<float>(axes[k].x);
    leaf.axis[k][1] = static_cast<float>(axes[k].y);
    leaf.axis[k][2] = static_cast<float>(axes[k].z);
  }
  double boxLo[3] = {kInfinity, kInfinity, kInfinity},
         boxHi[3] = {-kInfinity, -kInfinity, -kInfinity};
  for (int i = begin; i < end; ++i) {
    const int* c = corners_ + 3 * static_cast<size_t>(order_[i]);
    for (int j = 0; j < 3; ++j) {
      const Coord3& p = points_.point(c[j]);
      const double xyz[3] = {p.x, p.y, p.z};
      for (int k = 0; k < 3; ++k) {
        double along = alongAxis(leaf.axis[k], p);
        lo[k] = std::min(lo[k], along);
        hi[k] = std::max(hi[k], along);
        boxLo[k] = std::min(boxLo[k], xyz[k]);
        boxHi[k] = std::max(boxHi[k], xyz[k]);
      }
    }
  }
  for (int k = 0; k < 3; ++k) {
    leaf.lo[k] = roundedDown(lo[k] - pad_);
    leaf.hi[k] = roundedUp(hi[k] + pad_);
    box.lo[k] = roundedDown(boxLo[k] - pad_);
    box.hi[k] = roundedUp(boxHi[k] + pad_);
  }
  leaf.start = begin;
  return leaf;
}

template <typename Visit>
void ClosestPoint::visitLeaf(int first, int count, Visit visit) const {
  for (int i = first; i < first + count; ++i) {
    const int* c = corners_ + 3 * static_cast<size_t>(order_[i]);
    visit(order_[i], points_.point(c[0]), points_.point(c[1]), points_.point(c[2]));
  }
}

ClosestPoint::Hit ClosestPoint::closest(const Coord3& query) const {
  assert(!empty());
  thread_local std::vector<Candidate> candidates;
  candidates.clear();
  double limit = gatherCandidates(query, candidates);
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
  assert(best.triangle >= 0);  // the candidate that set the limit is within it
  return {toCoord(best.point), best.triangle};
}

// Walks the tree nearest box first, collecting the triangles whose rough
// distance may beat the best so far; returns the final bound.
double ClosestPoint::gatherCandidates(const Coord3& query,
                                      std::vector<Candidate>& candidates) const {
  double limit = kInfinity;  // no box or triangle further than this holds the closest point
  // Rounding grows with the query's coordinates as well as the triangles'.
  double slack = pad_ + 1e-10 * largestCoordinate(query);
  auto consider = [&](int t, const Coord3& a, const Coord3& b, const Coord3& c) {
    double lower = roughSquaredDistance(query, a, b, c), upper = lower;
    if (lower < 0) {
      lower = 0;
      upper = std::min({dotProduct(query - a, query - a), dotProduct(query - b, query - b),
                        dotProduct(query - c, query - c)});
    }
    if (lower > limit) return;
    candidates.push_back({t, lower});
    limit = std::min(limit, (std::sqrt(upper) + slack) * (std::sqrt(upper) + slack));
  };
  StackedChild stack[kStackSize];
  int size = 0;
  stack[size++] = {0, 0, 0};
  while (size > 0) {
    StackedChild waiting = stack[--size];
    if (waiting.distance > limit) continue;
    if (waiting.count > 0) {
      const Leaf& leaf = leaves_[waiting.first];
      if (frameSquaredDistance(leaf.axis, leaf.lo, leaf.hi, query) <= limit)
        visitLeaf(leaf.start, waiting.count, consider);
      continue;
    }
    const Node& node = nodes_[waiting.first];
    double distance[4];
    childSquaredDistances(node.lo, node.hi, query, distance);
    pushChildren(node.first, node.count, distance, limit, stack, size);
  }
  return limit;
}

std::optional<Coord3> ClosestPoint::firstHit(const Coord3& origin, const Coord3& direction) const {
  bool usable = std::isfinite(direction.x) && std::isfinite(direction.y) &&
                std::isfinite(direction.z) &&
                (direction.x != 0 || direction.y != 0 || direction.z != 0);
  if (empty() || !usable) return std::nullopt;
  const Kernel::Ray_3 ray(toPoint(origin), Kernel::Vector_3(direction.x, direction.y, direction.z));
  // Hits are ordered as CGAL orders them: along the direction's largest axis.
  const double d[3] = {direction.x, direction.y, direction.z};
  int axis = 0;
  for (int k = 1; k < 3; ++k)
    if (std::fabs(d[k]) > std::fabs(d[axis])) axis = k;
  // Rounding grows with the origin's coordinates as well as the triangles'.
  double slack = (pad_ + 1e-10 * largestCoordinate(origin)) / std::fabs(d[axis]);
  Best best;
  StackedChild stack[kStackSize];
  int size = 0;
  stack[size++] = {0, 0, 0};
  while (size > 0) {
    StackedChild waiting = stack[--size];
    if (waiting.distance > best.value) continue;
    if (waiting.count > 0) {
      visitLeaf(leaves_[waiting.first].start, waiting.count,
                [&](int t, const Coord3& a, const Coord3& b, const Coord3& c) {
                  if (mayMeet(origin, direction, a, b, c, best.value))
                    meetTriangle(ray, axis, t, Triangle(toPoint(a), toPoint(b), toPoint(c)), best);
                });
      continue;
    }
    const Node& node = nodes_[waiting.first];
    double entry[4];
    childEntries(node.lo, node.hi, node.count, origin, direction, slack, entry);
    pushChildren(node.first, node.count, entry, best.value, stack, size);
  }
  if (best.triangle < 0) return std::nullopt;
  return toCoord(best.point);
}

}  // namespace verdask
