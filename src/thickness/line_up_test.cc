#include "thickness/line_up.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace verdask {

namespace {

void fillBox(PointSet& set, const Coord3& low, double size) {
  ASSERT_TRUE(set.resize(8));
  for (int i = 0; i < 8; ++i) {
    set.points()[i][0] = low.x + size * (i & 1);
    set.points()[i][1] = low.y + size * (i >> 1 & 1);
    set.points()[i][2] = low.z + size * (i >> 2 & 1);
  }
}

// The warning names the likely cause from the two bounding boxes.
TEST(LineUp, WarnsOnlyWhenTheMeshLiesOffTheSurfaceAndNamesTheCause) {
  struct Case {
    const char* name;
    Coord3 meshLow;
    double meshSize;
    double percentile95;
    std::string cause;  // empty: no warning
  };
  const std::vector<Case> cases = {
      {"on the surface", {0, 0, 0}, 100, 0.9, ""},
      {"in metres", {0, 0, 0}, 0.1, 50, "differ in size by a factor of 1000 (other units?)"},
      {"in inches", {0, 0, 0}, 100 / 25.4, 50, "differ in size by a factor of 25.4"},
      {"moved", {500, 0, 0}, 100, 500, "overlap by 0% (mesh moved or misaligned?)"},
      {"off but overlapping", {10, 0, 0}, 100, 10, "check that the mesh belongs"},
  };
  PointSet cortical;
  fillBox(cortical, {0, 0, 0}, 100);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PointSet mesh;
    fillBox(mesh, c.meshLow, c.meshSize);
    std::string warning =
        lineUpWarning({0.5, c.percentile95, 2 * c.percentile95}, 2.0, 0, mesh, cortical);
    if (c.cause.empty()) {
      EXPECT_EQ(warning, "");
    } else {
      EXPECT_NE(warning.find(c.cause), std::string::npos) << warning;
    }
  }
}

TEST(LineUp, PercentilesOfTheDistances) {
  std::vector<double> distances;
  for (int i = 100; i >= 0; --i) distances.push_back(i);
  LineUp lineUp = lineUpOf(distances);
  EXPECT_EQ(lineUp.median, 50);
  EXPECT_EQ(lineUp.percentile95, 95);
  EXPECT_EQ(lineUp.maximum, 100);
  // The vertex spacing widens what counts as on the surface.
  PointSet box;
  fillBox(box, {0, 0, 0}, 100);
  EXPECT_EQ(lineUpWarning({0, 1.5, 2}, 2.0, 0.6, box, box), "");
  EXPECT_NE(lineUpWarning({0, 1.5, 2}, 2.0, 0.4, box, box), "");
}

}  // namespace

}  // namespace verdask
