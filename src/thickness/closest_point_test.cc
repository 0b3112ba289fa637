#include "thickness/closest_point.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "thickness/measure.h"
#include "thickness/thickness.h"

namespace verdask {

namespace {

void fill(PointSet& set, const std::vector<Coord3>& points) {
  ASSERT_TRUE(set.resize(static_cast<int>(points.size())));
  for (size_t i = 0; i < points.size(); ++i) {
    double* p = set.points()[i];
    p[0] = points[i].x;
    p[1] = points[i].y;
    p[2] = points[i].z;
  }
}

void expectNear(const Coord3& got, const Coord3& want, double tolerance) {
  EXPECT_NEAR(got.x, want.x, tolerance);
  EXPECT_NEAR(got.y, want.y, tolerance);
  EXPECT_NEAR(got.z, want.z, tolerance);
}

// Triangle (0,0,0) (2,0,0) (0,2,0), worked by hand.
TEST(ClosestPoint, FindsPointOverFaceEdgeAndVertex) {
  PointSet points;
  fill(points, {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}});
  std::vector<int> corners = {0, 1, 2};
  ClosestPoint surface(points, corners);
  const std::pair<Coord3, Coord3> cases[] = {
      {{0.5, 0.5, 3}, {0.5, 0.5, 0}},  // over the face
      {{1, -1, 1}, {1, 0, 0}},         // beside edge 01
      {{3, 3, -2}, {1, 1, 0}},         // beside the long edge
      {{-1, -1, 0.5}, {0, 0, 0}},      // beyond corner 0
      {{3, -1, 0}, {2, 0, 0}},         // beyond corner 1
  };
  for (const auto& [query, closest] : cases) {
    ClosestPoint::Hit hit = surface.closest(query);
    expectNear(hit.point, closest, 1e-15);
    EXPECT_EQ(hit.triangle, 0);
  }
}

TEST(ClosestPoint, BarycentricWeightsOfCornersCentreAndDegenerateTriangle) {
  Coord3 a{0, 0, 0}, b{2, 0, 0}, c{0, 2, 0};
  const std::pair<Coord3, std::vector<double>> cases[] = {
      {a, {1, 0, 0}},
      {b, {0, 1, 0}},
      {{1, 1, 0}, {0, 0.5, 0.5}},
      {{2.0 / 3, 2.0 / 3, 0}, {1.0 / 3, 1.0 / 3, 1.0 / 3}}};
  for (const auto& [p, want] : cases) {
    double w[3];
    barycentricWeights(p, a, b, c, w);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(w[k], want[k], 1e-15);
  }
  double w[3];
  barycentricWeights({1.7, 1.5, 0}, a, {4, 0, 0}, {1, 3, 0}, w);  // scalene
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(w[k], (std::vector<double>{0.2, 0.3, 0.5})[k], 1e-15);
  // All on a line: the nearest corner, the first of equally near ones.
  const std::pair<Coord3, std::vector<double>> degenerate[] = {{{1.9, 0, 0}, {0, 1, 0}},
                                                               {{0.5, 0, 0}, {1, 0, 0}}};
  for (const auto& [p, want] : degenerate) {
    barycentricWeights(p, a, b, {1, 0, 0}, w);
    EXPECT_EQ(std::vector<double>(w, w + 3), want);
  }
}

// The normal at p blends its triangle's corner normals by p's weights, and the
// table's node is the corner nearest p.
TEST(SurfaceMeasure, BlendsTheCornerNormalsOfAScaleneTriangle) {
  PointSet cortical, trabecular;
  fill(cortical, {{0, 0, 0}, {4, 0, 0}, {1, 3, 0}});
  fill(trabecular, {{-10, -10, -2}, {10, -10, -2}, {0, 10, -2}});
  std::vector<int> corners = {0, 1, 2};
  std::vector<Coord3> normals = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  NearestVertex corticalVertices(cortical, TieRule::kEveryTie, IndexChoice::kFastWithAnnJudge);
  NearestVertex trabecularVertices(trabecular, TieRule::kEveryTie, IndexChoice::kFastWithAnnJudge);
  ClosestPoint corticalTriangles(cortical, corners), trabecularTriangles(trabecular, corners);
  SurfaceMeasure measure({&cortical, &corticalVertices, &corners, &corticalTriangles},
                         normals.data(),
                         {&trabecular, &trabecularVertices, &corners, &trabecularTriangles});
  Measurement m = measure.at({1.7, 1.5, 0.4});
  expectNear(m.normal, {0.2, 0.3, 0.5}, 1e-15);
  expectNear(m.trabecular, {1.7, 1.5, -2}, 1e-12);
  EXPECT_EQ(m.corticalVertex, 3);
}

// A square grid of n x n cells in the plane z = height, two triangles a cell.
void planeGrid(int n, double height, std::vector<Coord3>& points, std::vector<int>& corners) {
  for (int j = 0; j <= n; ++j) {
    for (int i = 0; i <= n; ++i) points.push_back({1.0 * i, 1.0 * j, height});
  }
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      int v = j * (n + 1) + i;
      corners.insert(corners.end(), {v, v + 1, v + n + 1, v + 1, v + n + 2, v + n + 1});
    }
  }
}

Coord3 rotated(const Coord3& p, bool tilt) {
  if (!tilt) return p;
  // 30 degrees about x, then 40 about z.
  double c1 = std::cos(M_PI / 6), s1 = std::sin(M_PI / 6), c2 = std::cos(2 * M_PI / 9),
         s2 = std::sin(2 * M_PI / 9);
  Coord3 q{p.x, c1 * p.y - s1 * p.z, s1 * p.y + c1 * p.z};
  return {c2 * q.x - s2 * q.y, s2 * q.x + c2 * q.y, q.z};
}

// Two parallel triangulated planes 1.75 apart, level and tilted: the measured
// thickness at mesh vertices over faces, edges and vertices is their distance.
TEST(SurfaceMeasure, MeasuresTheDistanceOfParallelPlanes) {
  const double kDistance = 1.75;
  for (bool tilt : {false, true}) {
    SCOPED_TRACE(tilt ? "tilted" : "level");
    std::vector<Coord3> outer, inner;
    std::vector<int> outerCorners, innerCorners;
    planeGrid(10, 0, outer, outerCorners);
    planeGrid(7, -kDistance, inner, innerCorners);
    for (Coord3& p : inner) p = {p.x * 1.5 - 0.3, p.y * 1.5 - 0.2, p.z};  // other vertices
    for (std::vector<Coord3>* set : {&outer, &inner}) {
      for (Coord3& p : *set) p = rotated(p, tilt);
    }
    PointSet cortical, trabecular;
    fill(cortical, outer);
    fill(trabecular, inner);
    std::vector<Coord3> normals(outer.size(), rotated({0, 0, 1}, tilt));
    NearestVertex corticalVertices(cortical, TieRule::kEveryTie, IndexChoice::kFastWithAnnJudge);
    NearestVertex trabecularVertices(trabecular, TieRule::kEveryTie,
                                     IndexChoice::kFastWithAnnJudge);
    ClosestPoint corticalTriangles(cortical, outerCorners);
    ClosestPoint trabecularTriangles(trabecular, innerCorners);
    SurfaceMeasure measure({&cortical, &corticalVertices, &outerCorners, &corticalTriangles},
                           normals.data(),
                           {&trabecular, &trabecularVertices, &innerCorners, &trabecularTriangles});
    // Over a vertex, a face, an edge's middle and a diagonal edge, 0.3 above the
    // plane; the table's node is the corner nearest p where one is nearest.
    const std::pair<Coord3, int> cases[] = {
        {{4, 5, 0.3}, 60}, {{4.2, 5.3, 0.3}, 60}, {{4.5, 5, 0.3}, 0}, {{4.5, 5.5, 0.3}, 0}};
    for (const auto& [at, node] : cases) {
      Measurement m = measure.at(rotated(at, tilt));
      expectNear(m.cortical, rotated({at.x, at.y, 0}, tilt), 1e-12);
      if (node) {
        EXPECT_EQ(m.corticalVertex, node);
      }
      double angle;
      double thickness = nearestThickness(m.cortical, m.normal, m.trabecular, &angle);
      EXPECT_NEAR(thickness, kDistance, 1e-9 * kDistance);
      EXPECT_NEAR(angle, 0, 1e-5);
    }
  }
}

// A ray down onto the triangle (0,0,0) (2,0,0) (0,2,0) at z = 0, from above its
// face, an edge and a corner, and one that passes it by; rays in its plane.
TEST(ClosestPoint, FirstHitOfARayOnFaceEdgeAndCorner) {
  PointSet points;
  fill(points, {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}});
  std::vector<int> corners = {0, 1, 2};
  ClosestPoint triangle(points, corners);
  const std::pair<Coord3, bool> cases[] = {
      {{0.5, 0.5, 3}, true}, {{1, 1, 3}, true}, {{2, 0, 3}, true}, {{1.5, 1.5, 3}, false}};
  for (const auto& [origin, hits] : cases) {
    std::optional<Coord3> hit = triangle.firstHit(origin, {0, 0, -1});
    ASSERT_EQ(hit.has_value(), hits) << origin.x << " " << origin.y;
    if (hits) expectNear(*hit, {origin.x, origin.y, 0}, 1e-15);
  }
  EXPECT_FALSE(triangle.firstHit({0.5, 0.5, 3}, {0, 0, 1}));  // pointing away
  EXPECT_FALSE(triangle.firstHit({0.5, 0.5, 3}, {0, 0, 0}));  // no direction
  // A ray in the triangle's plane meets it in a segment: the end nearer the origin.
  const std::pair<Coord3, Coord3> inPlane[] = {{{-1, 0.5, 0}, {0, 0.5, 0}},
                                               {{3, 0.5, 0}, {1.5, 0.5, 0}}};
  for (const auto& [origin, first] : inPlane) {
    std::optional<Coord3> hit = triangle.firstHit(origin, difference(first, origin));
    ASSERT_TRUE(hit) << origin.x;
    expectNear(*hit, first, 1e-15);
  }
  // Its area is 1 taken from (1, 0, 0), none from the far corner: the ray meets nothing.
  fill(points, {{1, 0, 0}, {1, 1, 0}, {0, 1.44e58, 0}});
  EXPECT_FALSE(ClosestPoint(points, corners).firstHit({0.5, 2, 1}, {0, 0, -1}));
}

// Two planes of 4 x 4 cells 200 apart, far for their size, so the tree's first
// cut parts them; the lower one a thousandth below 2^20, where its boxes end,
// the query 100.08 above it at a height no float holds (the nearest is 0.046
// higher), the upper plane 0.01 further. Rounded to a float, the query would
// seem further from the lower plane's boxes than the upper plane is.
TEST(ClosestPoint, AnswersBetweenTwoPlanesAtAHeightNoFloatHolds) {
  const double lower = 1048576 - 1e-3, height = lower + 100.08, upper = height + 100.09;
  std::vector<Coord3> vertices;
  std::vector<int> corners, upperCorners;
  planeGrid(4, lower, vertices, corners);
  planeGrid(4, upper, vertices, upperCorners);
  for (int& c : upperCorners) c += 25;
  corners.insert(corners.end(), upperCorners.begin(), upperCorners.end());
  PointSet points;
  fill(points, vertices);
  ClosestPoint surface(points, corners);
  // Over a face, over another face and over a vertex, where the lowest of its triangles wins.
  const std::pair<Coord3, int> cases[] = {
      {{1.25, 2.25, height}, 18}, {{3.75, 0.75, height}, 7}, {{2, 2, height}, 11}};
  for (const auto& [query, triangle] : cases) {
    ClosestPoint::Hit hit = surface.closest(query);
    EXPECT_EQ(hit.triangle, triangle) << query.x << " " << query.y;
    expectNear(hit.point, {query.x, query.y, lower}, 0);
  }
}

// Every answer of the tree must be the best over all the triangles, each
// asked alone, the lowest number winning ties; queries at `scales` from the
// origin, in many directions, with rays along others.
void expectAsEveryTriangleAlone(const std::vector<Coord3>& vertices,
                                const std::vector<int>& corners,
                                const std::vector<double>& scales) {
  PointSet points;
  fill(points, vertices);
  ClosestPoint surface(points, corners);
  std::vector<std::vector<int>> triangles;
  for (size_t t = 0; t < corners.size() / 3; ++t)
    triangles.emplace_back(corners.begin() + 3 * t, corners.begin() + 3 * t + 3);
  std::vector<std::unique_ptr<ClosestPoint>> alone;
  for (const std::vector<int>& triangle : triangles)
    alone.push_back(std::make_unique<ClosestPoint>(points, triangle));
  auto squared = [](const Coord3& a, const Coord3& b) {
    return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z);
  };
  for (int q = 0; q < 200; ++q) {
    double scale = scales[q % scales.size()];
    Coord3 query{scale * std::cos(q * 1.3), scale * std::sin(q * 2.1), scale * std::cos(q * 0.7)};
    Coord3 direction{std::sin(q * 0.9), std::cos(q * 1.7), std::sin(q * 0.4 + 1)};
    ClosestPoint::Hit best{{0, 0, 0}, -1};
    std::optional<Coord3> firstHit;
    double bestDistance = 0, hitDistance = 0;
    for (size_t t = 0; t < alone.size(); ++t) {
      if (alone[t]->empty()) continue;
      ClosestPoint::Hit hit = alone[t]->closest(query);
      if (best.triangle < 0 || squared(hit.point, query) < bestDistance)
        best = {hit.point, static_cast<int>(t)}, bestDistance = squared(hit.point, query);
      std::optional<Coord3> meets = alone[t]->firstHit(query, direction);
      if (meets && (!firstHit || squared(*meets, query) < hitDistance))
        firstHit = meets, hitDistance = squared(*meets, query);
    }
    ClosestPoint::Hit hit = surface.closest(query);
    EXPECT_EQ(hit.triangle, best.triangle) << "query " << q;
    expectNear(hit.point, best.point, 0);
    std::optional<Coord3> meets = surface.firstHit(query, direction);
    ASSERT_EQ(meets.has_value(), firstHit.has_value()) << "query " << q;
    if (meets) expectNear(*meets, *firstHit, 0);
  }
}

// A bumpy sphere of 16 x 16 quads, its first row of triangles given twice (ties),
// one triangle without area and one far away (the sphere in one cell of the
// tree's grid), asked from its centre, inside, near and far.
TEST(ClosestPoint, AnswersOnABumpySphereAsEveryTriangleAlone) {
  constexpr int kRows = 16;
  std::vector<Coord3> vertices;
  for (int i = 0; i <= kRows; ++i) {
    for (int j = 0; j < kRows; ++j) {
      double theta = M_PI * i / kRows, phi = 2 * M_PI * j / kRows;
      double r = 1 + 0.1 * std::sin(3 * theta) * std::cos(5 * phi);
      vertices.push_back({r * std::sin(theta) * std::cos(phi), r * std::sin(theta) * std::sin(phi),
                          r * std::cos(theta)});
    }
  }
  std::vector<int> corners;
  for (int i = 0; i < kRows; ++i) {
    for (int j = 0; j < kRows; ++j) {
      int a = i * kRows + j, b = i * kRows + (j + 1) % kRows;
      for (int c : {a, b, a + kRows, b, b + kRows, a + kRows}) corners.push_back(c);
    }
  }
  corners.insert(corners.end(), corners.begin(), corners.begin() + 6 * kRows);
  int far = static_cast<int>(vertices.size());
  vertices.insert(vertices.end(), {{1e6, 0, 0}, {1e6, 1, 0}, {1e6, 0, 1}});
  for (int c : {0, 0, 1, far, far + 1, far + 2}) corners.push_back(c);
  expectAsEveryTriangleAlone(vertices, corners, {0, 0.5, 0.9, 1.3, 2.5});
}

// Clusters nested ten thousand times smaller, level after level, each a crowd
// in one cell of the grid around it: a tree deeper than its cuts in space go.
TEST(ClosestPoint, AnswersInNestedClustersAsEveryTriangleAlone) {
  std::vector<Coord3> vertices;
  std::vector<int> corners;
  auto triangle = [&](Coord3 at, double size) {
    int first = static_cast<int>(vertices.size());
    vertices.insert(vertices.end(), {at, {at.x + size, at.y, at.z}, {at.x, at.y + size, at.z}});
    for (int k = 0; k < 3; ++k) corners.push_back(first + k);
  };
  double scale = 1;
  for (int level = 0; level < 8; ++level, scale *= 1e-4) {
    for (int bit = 0; bit < 10; ++bit) {
      double at = 0.9 * scale / (1 << bit);
      for (Coord3 where : {Coord3{at, 0, 0}, Coord3{0, at, 0}, Coord3{0, 0, at}})
        triangle(where, at * 1e-3);
    }
  }
  for (int k = 0; k < 100; ++k) triangle({scale * k, scale * (k % 7), 0}, scale);
  expectAsEveryTriangleAlone(vertices, corners, {0, 1e-33, 1e-20, 1e-9, 0.5, 2});
}

// Two planes, the inner one z = -1 - slope * x, each as a grid of triangles; the
// four measures at the mesh vertex over the cortical vertex at the origin.
std::vector<double> measureAtTheOrigin(double slope, std::vector<bool>* fellBack = nullptr) {
  std::vector<Coord3> outer, inner;
  std::vector<int> outerCorners, innerCorners;
  planeGrid(8, 0, outer, outerCorners);
  planeGrid(8, 0, inner, innerCorners);
  for (std::vector<Coord3>* set : {&outer, &inner}) {
    for (Coord3& p : *set) p = {p.x - 4, p.y - 4, p.z};
  }
  for (Coord3& p : inner) p.z = -1 - slope * p.x;
  PointSet cortical, trabecular;
  fill(cortical, outer);
  fill(trabecular, inner);
  std::vector<Coord3> normals(outer.size(), {0, 0, 1});
  NearestVertex corticalVertices(cortical, TieRule::kEveryTie, IndexChoice::kFastWithAnnJudge);
  NearestVertex trabecularVertices(trabecular, TieRule::kEveryTie, IndexChoice::kFastWithAnnJudge);
  ClosestPoint corticalTriangles(cortical, outerCorners);
  ClosestPoint trabecularTriangles(trabecular, innerCorners);
  IndexedSurface outerSurface{&cortical, &corticalVertices, &outerCorners, &corticalTriangles};
  IndexedSurface innerSurface{&trabecular, &trabecularVertices, &innerCorners,
                              &trabecularTriangles};
  VertexMeasure vertex(outerSurface, normals.data(), innerSurface);
  SurfaceMeasure surface(outerSurface, normals.data(), innerSurface);
  NormalMeasure normal(outerSurface, normals.data(), innerSurface, 20);
  SymmetricMeasure symmetric(outerSurface, normals.data(), innerSurface);
  std::vector<double> thickness;
  for (const Measure* measure :
       std::initializer_list<const Measure*>{&vertex, &surface, &normal, &symmetric}) {
    Measurement m = measure->at({0, 0, 0.25});
    double angle;
    double distance = nearestThickness(m.cortical, m.normal, m.trabecular, &angle);
    thickness.push_back(m.thickness >= 0 ? m.thickness : distance);
    if (fellBack) fellBack->push_back(m.fellBack);
  }
  return thickness;
}

TEST(Measures, AgreeBetweenParallelPlanesAndDifferInAWedgeAsExpected) {
  for (double t : measureAtTheOrigin(0)) EXPECT_NEAR(t, 1, 1e-12);
  // Inner plane 0.5 x + z + 1 = 0: along the normal 1, to the closest point
  // 1 / sqrt(1.25), and back from there to z = 0, 0.8.
  std::vector<double> wedge = measureAtTheOrigin(0.5);
  EXPECT_NEAR(wedge[2], 1, 1e-12);
  EXPECT_NEAR(wedge[1], 1 / std::sqrt(1.25), 1e-12);
  EXPECT_NEAR(wedge[3], (1 / std::sqrt(1.25) + 0.8) / 2, 1e-12);
  EXPECT_LT(wedge[3], wedge[1]);
  EXPECT_LT(wedge[1], wedge[2]);
}

// Steep enough, the ray along the normal grazes the wall: it hits further than
// the grazing factor allows, and the closest point stands in, flagged.
TEST(Measures, AlongTheNormalFallsBackToTheClosestPointWhereTheRayGrazes) {
  std::vector<bool> fellBack;
  std::vector<double> steep = measureAtTheOrigin(4, &fellBack);
  EXPECT_EQ(fellBack, (std::vector<bool>{false, false, true, false}));
  EXPECT_NEAR(steep[1], 1 / std::sqrt(17.0), 1e-12);  // to the plane 4 x + z + 1 = 0
  EXPECT_NEAR(steep[2], steep[1], 1e-12);
  fellBack.clear();
  measureAtTheOrigin(0.5, &fellBack);
  EXPECT_EQ(fellBack, (std::vector<bool>{false, false, false, false}));
}

}  // namespace

}  // namespace verdask
