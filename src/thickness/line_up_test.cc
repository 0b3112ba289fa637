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

// The finding names the likely cause from the two bounding boxes, or the
// mesh lying on the trabecular surface; all but the last case are plain.
TEST(LineUp, FindsOnlyWhenTheMeshLiesOffTheSurfaceAndNamesTheCause) {
  struct Case {
    const char* name;
    Coord3 meshLow;
    double meshSize;
    double percentile95;
    double toTrabecular95;
    std::string cause;  // empty: nothing found
  };
  const std::vector<Case> cases = {
      {"on the surface", {0, 0, 0}, 100, 0.9, 2, ""},
      {"on the trabecular surface", {0, 0, 0}, 100, 2, 0.9, "the mesh lies on the trabecular"},
      {"in metres", {0, 0, 0}, 0.1, 50, 50, "differ in size by a factor of 1000 (other units?)"},
      {"in metres, 10 % off", {0, 0, 0}, 0.1 / 1.1, 50, 50, "by a factor of 1000"},
      {"in inches", {0, 0, 0}, 100 / 25.4, 50, 50, "differ in size by a factor of 25.4"},
      {"moved", {500, 0, 0}, 100, 500, 500, "overlap by 0% (mesh moved or misaligned?)"},
      {"moved by 60 %", {60, 0, 0}, 100, 60, 60, "overlap by 40% (mesh moved"},
      {"off but overlapping", {40, 0, 0}, 100, 10, 10, "check that the mesh belongs"},
  };
  PointSet cortical;
  fillBox(cortical, {0, 0, 0}, 100);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PointSet mesh;
    fillBox(mesh, c.meshLow, c.meshSize);
    LineUpFinding finding =
        lineUpFinding({0.5, c.percentile95, 2 * c.percentile95}, 2.0, 0, mesh, cortical,
                      [&] { return std::vector<double>(20, c.toTrabecular95); });
    if (c.cause.empty()) {
      EXPECT_EQ(finding.text, "");
    } else {
      EXPECT_NE(finding.text.find(c.cause), std::string::npos) << finding.text;
    }
    EXPECT_EQ(finding.plain, !c.cause.empty() && c.cause.find("belongs") == std::string::npos);
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
  EXPECT_TRUE(linesUp({0, 1.5, 2}, 2.0, 0.6));
  EXPECT_FALSE(linesUp({0, 1.5, 2}, 2.0, 0.4));
}

}  // namespace

}  // namespace verdask
