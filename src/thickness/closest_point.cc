#include "thickness/closest_point.h"

#include <CGAL/AABB_primitive.h>
#include <CGAL/AABB_traits.h>
#include <CGAL/AABB_tree.h>
#include <CGAL/Simple_cartesian.h>

#include <boost/property_map/property_map.hpp>
#include <cassert>
#include <cmath>

namespace verdask {

namespace {

using Kernel = CGAL::Simple_cartesian<double>;
using Point = Kernel::Point_3;
using Triangle = Kernel::Triangle_3;

Point toPoint(const Coord3& c) { return Point(c.x, c.y, c.z); }

bool hasArea(const Coord3& a, const Coord3& b, const Coord3& c) {
  double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
  double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
  return uy * vz - uz * vy != 0 || uz * vx - ux * vz != 0 || ux * vy - uy * vx != 0;
}

// The tree's primitives are triangle numbers; these property maps give a
// triangle and its first corner from the point set, so no triangle is stored twice.
template <typename Value>
struct TriangleMap {
  using key_type = int;
  using value_type = Value;
  using reference = Value;
  using category = boost::readable_property_map_tag;
  const PointSet* points = nullptr;
  const int* corners = nullptr;
  Point corner(int triangle, int k) const {
    return toPoint(points->point(corners[3 * static_cast<size_t>(triangle) + k]));
  }
};

using TriangleOf = TriangleMap<Triangle>;
using FirstCornerOf = TriangleMap<Point>;

Triangle get(const TriangleOf& map, int triangle) {
  return Triangle(map.corner(triangle, 0), map.corner(triangle, 1), map.corner(triangle, 2));
}

Point get(const FirstCornerOf& map, int triangle) { return map.corner(triangle, 0); }

using Primitive =
    CGAL::AABB_primitive<int, TriangleOf, FirstCornerOf, CGAL::Tag_true, CGAL::Tag_false>;
using AabbTree = CGAL::AABB_tree<CGAL::AABB_traits<Kernel, Primitive>>;

}  // namespace

struct ClosestPoint::Tree {
  const PointSet& points;
  std::vector<int> vertexTriangle;  // a triangle with area of each vertex, or -1
  AabbTree tree;
};

ClosestPoint::ClosestPoint(const PointSet& points, const std::vector<int>& corners)
    : tree_(new Tree{points, std::vector<int>(points.count(), -1), {}}) {
  // Triangles without area are left out: where many coincide, their boxes all
  // overlap and every query would visit each of them.
  std::vector<int> kept;
  for (int t = 0; t < static_cast<int>(corners.size() / 3); ++t) {
    const int* c = &corners[3 * static_cast<size_t>(t)];
    if (hasArea(points.point(c[0]), points.point(c[1]), points.point(c[2]))) kept.push_back(t);
  }
  for (auto t = kept.rbegin(); t != kept.rend(); ++t) {
    for (int k = 0; k < 3; ++k)
      tree_->vertexTriangle[corners[3 * static_cast<size_t>(*t) + k]] = *t;
  }
  tree_->tree.insert(kept.begin(), kept.end(), TriangleOf{&points, corners.data()},
                     FirstCornerOf{&points, corners.data()});
  // Built now, before queries come from several threads.
  if (!kept.empty()) tree_->tree.build();
}

ClosestPoint::~ClosestPoint() = default;

bool ClosestPoint::empty() const { return tree_->tree.empty(); }

ClosestPoint::Hit ClosestPoint::closest(const Coord3& query, int nearVertex) const {
  assert(!empty());
  // The near vertex itself, on one of its triangles, bounds the search from the start.
  int hintTriangle = tree_->vertexTriangle[nearVertex];
  AabbTree::Point_and_primitive_id hint =
      hintTriangle >= 0
          ? AabbTree::Point_and_primitive_id(toPoint(tree_->points.point(nearVertex)), hintTriangle)
          : tree_->tree.any_reference_point_and_id();
  auto [point, triangle] = tree_->tree.closest_point_and_primitive(toPoint(query), hint);
  return {{point.x(), point.y(), point.z()}, triangle};
}

std::optional<Coord3> ClosestPoint::firstHit(const Coord3& origin, const Coord3& direction) const {
  bool usable = std::isfinite(direction.x) && std::isfinite(direction.y) &&
                std::isfinite(direction.z) &&
                (direction.x != 0 || direction.y != 0 || direction.z != 0);
  if (empty() || !usable) return std::nullopt;
  Kernel::Ray_3 ray(toPoint(origin), Kernel::Vector_3(direction.x, direction.y, direction.z));
  auto hit = tree_->tree.first_intersection(ray);
  if (!hit) return std::nullopt;
  Point where;
  if (const Point* point = boost::get<Point>(&hit->first)) {
    where = *point;
  } else if (const Kernel::Segment_3* segment = boost::get<Kernel::Segment_3>(&hit->first)) {
    // The ray runs in the triangle's plane: the segment's end nearer the origin.
    where = CGAL::squared_distance(segment->source(), ray.source()) <=
                    CGAL::squared_distance(segment->target(), ray.source())
                ? segment->source()
                : segment->target();
  } else {
    return std::nullopt;
  }
  return Coord3{where.x(), where.y(), where.z()};
}

}  // namespace verdask
