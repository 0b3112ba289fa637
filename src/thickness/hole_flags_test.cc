#include "thickness/hole_flags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "thickness/nearest_vertex.h"

namespace verdask {

namespace {

// A 4 x 4 square of unit cells at height z, two triangles a cell, node (i, j)
// at i + 5 j; cells for which `keep` is false are left out.
std::vector<int> plate(PointSet& points, double z, bool (*keep)(int, int)) {
  EXPECT_TRUE(points.resize(25));
  for (int k = 0; k < 25; ++k) {
    double* p = points.points()[k];
    p[0] = k % 5;
    p[1] = k / 5;
    p[2] = z;
  }
  std::vector<int> corners;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) {
      if (!keep(i, j)) continue;
      int a = i + 5 * j, b = a + 1, c = a + 6, d = a + 5;
      corners.insert(corners.end(), {a, b, c, a, c, d});
    }
  }
  return corners;
}

bool everyCell(int, int) { return true; }
// The middle four cells missing: a hole from (1, 1) to (3, 3).
bool holed(int i, int j) { return i == 0 || i == 3 || j == 0 || j == 3; }

std::vector<std::pair<int, int>> endsOf(const std::vector<OpenEdge>& edges) {
  std::vector<std::pair<int, int>> ends;
  for (const OpenEdge& e : edges) ends.emplace_back(std::min(e.a, e.b), std::max(e.a, e.b));
  std::sort(ends.begin(), ends.end());
  return ends;
}

TEST(HoleFlags, OpenEdgesOfAHandMadeSurfaceWhateverItsWinding) {
  PointSet points;
  std::vector<int> corners = plate(points, 0, holed);
  std::vector<std::pair<int, int>> want = {
      {0, 1},   {0, 5},   {1, 2},   {2, 3},   {3, 4},   {4, 9},   {5, 10},  {6, 7},
      {6, 11},  {7, 8},   {8, 13},  {9, 14},  {10, 15}, {11, 16}, {13, 18}, {14, 19},
      {15, 20}, {16, 17}, {17, 18}, {19, 24}, {20, 21}, {21, 22}, {22, 23}, {23, 24}};
  EXPECT_EQ(endsOf(openEdgesOf(corners, 25)), want);
  std::swap(corners[1], corners[2]);  // one triangle wound the other way
  EXPECT_EQ(endsOf(openEdgesOf(corners, 25)), want);
  EXPECT_TRUE(openEdgesOf({0, 1, 2, 0, 2, 3, 0, 3, 1, 1, 3, 2}, 4).empty());  // a tetrahedron
}

// The holed plate at z = 0 under a whole cortical plate at z = 2: the hole's
// rim lies under the cortex, the plates' outer edges end together.
struct Holed {
  PointSet trabecular, cortical;
  std::vector<int> corners = plate(trabecular, 0, holed);
  std::vector<int> cortex = plate(cortical, 2, everyCell);
  NearestVertex vertices{cortical, TieRule::kEveryTie, IndexChoice::kFastWithAnnJudge};
  ClosestPoint triangles{cortical, cortex};
  HoleRims rims{trabecular, openEdgesOf(corners, 25),
                IndexedSurface{&cortical, &vertices, &cortex, &triangles}};
};

TEST(HoleFlags, RimsAreTheOpenEdgesUnderTheCortexAndRaysCrossTheirCap) {
  Holed bone;
  EXPECT_EQ(bone.rims.rimEdges(), 8);
  const std::pair<Coord3, bool> onRim[] = {
      {{1, 1.5, 0}, true},     {{3, 3, 0}, true},  {{2.5, 1, 0}, true},
      {{1.01, 1.5, 0}, false}, {{2, 2, 0}, false}, {{0.5, 0, 0}, false},
  };
  for (const auto& [p, want] : onRim) EXPECT_EQ(bone.rims.onRim(p), want) << p.x << " " << p.y;
  EXPECT_DOUBLE_EQ(bone.rims.throughHole({2, 2, 2}, {0, 0, -1}), 2.0);
  EXPECT_DOUBLE_EQ(bone.rims.throughHole({1.5, 2.5, 2}, {0, 0, -4}), 2.0);
  EXPECT_TRUE(std::isinf(bone.rims.throughHole({0.5, 0.5, 2}, {0, 0, -1})));
}

TEST(HoleFlags, NodesEndingOnARimOrWhoseRayLeftThroughTheHoleAreAtHole) {
  Holed bone;
  struct Case {
    Coord3 cortical, trabecular;
    Quality measured;
    double rayReach;
    Quality want;
  };
  const Case cases[] = {
      {{1.5, 2, 2}, {1, 2, 0}, Quality::kMeasured, 0, Quality::kAtHole},  // on the rim
      {{0.5, 0.5, 2}, {0.5, 0.5, 0}, Quality::kMeasured, 0, Quality::kMeasured},
      {{0.5, 0.5, 2},
       {0, 0.5, 0},
       Quality::kRaisedToMin,
       0,
       Quality::kRaisedToMin},                                             // an outer edge
      {{2, 2, 2}, {2, 2, -9}, Quality::kMeasured, 20, Quality::kAtHole},   // on through the hole
      {{2, 2, 2}, {2, 2, -9}, Quality::kMeasured, 0, Quality::kMeasured},  // not a ray
      {{2, 2, 2}, {0.5, 2, 0}, Quality::kFellBack, 20, Quality::kAtHole},
      {{2, 2, 2}, {0.5, 2, 0}, Quality::kFellBack, 1.5, Quality::kFellBack},  // out of reach
      {{2, 2, 2}, {2, 2, 0.5}, Quality::kOutsideCortex, 20, Quality::kOutsideCortex},
  };
  for (const Case& c : cases) {
    PassRecord record;
    record.corticalPoints = {c.cortical};
    record.trabecularPoints = {c.trabecular};
    record.normals = {{0, 0, 1}};
    record.quality = {c.measured};
    EXPECT_EQ(flagHoles(bone.rims, c.rayReach, record, 1), c.want == Quality::kAtHole);
    EXPECT_EQ(record.quality[0], c.want) << c.trabecular.x << " " << c.trabecular.z;
  }
}

}  // namespace

}  // namespace verdask
