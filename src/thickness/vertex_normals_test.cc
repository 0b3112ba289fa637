#include "thickness/vertex_normals.h"

#include <gtest/gtest.h>

#include <vector>

namespace verdask {

namespace {

// A cube of side 2 about the origin, wound outwards.
void fillCube(PointSet& points) {
  ASSERT_TRUE(points.resize(8));
  for (int i = 0; i < 8; ++i) {
    points.points()[i][0] = i & 1 ? 1 : -1;
    points.points()[i][1] = i & 2 ? 1 : -1;
    points.points()[i][2] = i & 4 ? 1 : -1;
  }
}

const std::vector<int> kCubeTriangles = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                                         2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};

// Only a surface that closes, each edge met once each way, encloses a volume.
TEST(VertexNormals, EnclosedVolumeOfClosedSurfacesOnly) {
  std::vector<int> reversed = kCubeTriangles, open = kCubeTriangles, mixed = kCubeTriangles;
  for (size_t t = 0; t < reversed.size(); t += 3) std::swap(reversed[t + 1], reversed[t + 2]);
  open.resize(open.size() - 3);
  std::swap(mixed[1], mixed[2]);
  const std::pair<std::vector<int>, double> cases[] = {
      {kCubeTriangles, 8}, {reversed, -8}, {open, 0}, {mixed, 0}, {{}, 0}};
  PointSet points;
  fillCube(points);
  for (const auto& [triangles, volume] : cases) {
    EXPECT_DOUBLE_EQ(enclosedVolume(points, triangles), volume);
  }
}

// At a cube's corner three right angles meet: the normal is the diagonal.
TEST(VertexNormals, AngleWeightedNormalOfACubeCornerIsItsDiagonal) {
  PointSet points;
  fillCube(points);
  std::vector<Coord3> normals = angleWeightedNormals(points, kCubeTriangles);
  const double third = 1 / std::sqrt(3.0);
  for (int i = 0; i < 8; ++i) {
    EXPECT_NEAR(normals[i].x, points.point(i).x * third, 1e-15);
    EXPECT_NEAR(normals[i].y, points.point(i).y * third, 1e-15);
    EXPECT_NEAR(normals[i].z, points.point(i).z * third, 1e-15);
  }
}

// Three points, each with its nearest vertex of the other surface straight
// below: a normal down points towards it, up away, sideways neither way.
TEST(VertexNormals, MostPointTowardsCountsNormalsInTheTangentPlaneNeitherWay) {
  PointSet points, other;
  ASSERT_TRUE(points.resize(3));
  ASSERT_TRUE(other.resize(3));
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < 3; ++k) points.points()[i][k] = other.points()[i][k] = k == 0 ? 10 * i : 0;
    other.points()[i][2] = -1;
  }
  NearestVertex nearest(other, TieRule::kEveryTie, IndexChoice::kFastWithAnnJudge);
  const Coord3 down{0, 0, -1}, up{0, 0, 1}, side{1, 0, 0};
  const std::pair<std::vector<Coord3>, bool> cases[] = {
      {{down, side, side}, true}, {{down, up, side}, false}, {{side, side, side}, false}};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(mostPointTowards(points, cases[c].first, nearest, other, 1), cases[c].second) << c;
  }
}

}  // namespace

}  // namespace verdask
