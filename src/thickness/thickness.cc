#include "thickness/thickness.h"

#include <cmath>

namespace verdask {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;  // 180 / pi

}  // namespace

double nearestThickness(const Coord3& p, const Coord3& normal, const Coord3& t, double* angle) {
  Coord3 direction{p.x - t.x, p.y - t.y, p.z - t.z};
  double thickness = vectorLength(direction);
  normalizeVector(direction);
  Coord3 unitNormal = normal;
  normalizeVector(unitNormal);
  double cosine = dotProduct(direction, unitNormal);
  // Rounding can carry the cosine of a direction along the normal past 1;
  // a not-a-number cosine (no direction) stays one.
  if (cosine > 1.0) cosine = 1.0;
  if (cosine < -1.0) cosine = -1.0;
  *angle = std::fabs(std::acos(cosine) * kDegreesPerRadian);
  return thickness;
}

}  // namespace verdask
