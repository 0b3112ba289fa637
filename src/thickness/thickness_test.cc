#include "thickness/thickness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "thickness/thickness_pass.h"

namespace verdask {

namespace {

struct AngleCase {
  const char* name;
  Coord3 trabecular;  // the cortical point is the origin
  Coord3 normal;
  double thickness;
  double angle;  // NAN: not a number
};

TEST(NearestThickness, GivesDistanceAndAngleToNormal) {
  const std::vector<AngleCase> cases = {
      {"along the normal", {0, 0, -2}, {0, 0, 1}, 2, 0},
      {"along a long normal", {0, 0, -2}, {0, 0, 3}, 2, 0},
      {"across the normal", {0, -5, 0}, {0, 0, 1}, 5, 90},
      {"against the normal", {0, 0, 5}, {0, 0, 1}, 5, 180},
      {"sixty degrees", {0, -std::sqrt(3.0), -1}, {0, 0, 1}, 2, 60},
      {"three four five", {0, 3, -4}, {0, 0, 2}, 5, 36.86989764584402},
      {"rounding past one", {-1, -1, -1}, {1, 1, 1}, std::sqrt(3.0), 0},
      {"rounding past minus one", {1, 1, 1}, {1, 1, 1}, std::sqrt(3.0), 180},
      {"zero-length normal", {0, 0, -2}, {0, 0, 0}, 2, NAN},
      {"on the cortical vertex", {0, 0, 0}, {0, 0, 1}, 0, NAN},
  };
  for (const AngleCase& c : cases) {
    SCOPED_TRACE(c.name);
    double angle = -1;
    double thickness = nearestThickness({0, 0, 0}, c.normal, c.trabecular, &angle);
    EXPECT_DOUBLE_EQ(thickness, c.thickness);
    if (std::isnan(c.angle)) {
      EXPECT_TRUE(std::isnan(angle)) << angle;
    } else {
      EXPECT_NEAR(angle, c.angle, 1e-12);
    }
  }
}

TEST(NearestThickness, AngleIsExactAtRightAndStraightAngles) {
  const std::pair<Coord3, double> cases[] = {
      {{0, -1, 0}, 90.0}, {{0, 0, 1}, 180.0}, {{0, 0, -1}, 0.0}};
  for (const auto& [trabecular, expected] : cases) {
    double angle;
    nearestThickness({0, 0, 0}, {0, 0, 1}, trabecular, &angle);
    EXPECT_EQ(angle, expected);
  }
}

struct ClampCase {
  double distance, adjThick, maxThick, minThick;
  float stored;
  Clamp clamp;
};

TEST(AdjustThickness, AddsThenClampsInFloat) {
  const std::vector<ClampCase> cases = {
      {25.0, 0, 20, 0, 20.0f, Clamp::kLoweredToMax},
      {3.14159, 0, 20, 0, 3.14159f, Clamp::kNone},
      {1.2, -1, 20, 0.5, 0.5f, Clamp::kRaisedToMin},
      {4.0, 0, 3, 5, 5.0f, Clamp::kRaisedToMin},
      {5.0, 0, 3, 5, 3.0f, Clamp::kLoweredToMax},
      {6.0, 0, 3, 5, 3.0f, Clamp::kLoweredToMax},
      {2.0, 0, 2, 1, 2.0f, Clamp::kNone},
      {1.0, 0, 2, 1, 1.0f, Clamp::kNone},
      {NAN, 0, 20, 0.25, 0.25f, Clamp::kRaisedToMin},
      {1.3, 0, 20, 0, 1.3f, Clamp::kNone},
      {0.1, 0.2, 20, 0, static_cast<float>(0.2 + 0.1f), Clamp::kNone},
      // Rounded to float before the adjustment: 1 + 2^-24 is stored as 1.
      {1 + 0x1p-24, 0x1p-24, 20, 0, 1.0f, Clamp::kNone},
  };
  for (const ClampCase& c : cases) {
    Clamp clamp;
    EXPECT_EQ(adjustThickness(c.distance, c.adjThick, c.maxThick, c.minThick, &clamp), c.stored)
        << c.distance << " " << c.adjThick << " " << c.maxThick << " " << c.minThick;
    EXPECT_EQ(clamp, c.clamp) << c.distance;
  }
}

TEST(VectorOps, DotLengthAndNormalize) {
  Coord3 v{3, 4, 12};
  EXPECT_EQ(dotProduct(v, {1, 2, 3}), 3 + 8 + 36);
  EXPECT_EQ(vectorLength(v), 13);
  normalizeVector(v);
  EXPECT_DOUBLE_EQ(vectorLength(v), 1);
  EXPECT_EQ(v.x, 3.0 / 13);
}

}  // namespace

}  // namespace verdask
