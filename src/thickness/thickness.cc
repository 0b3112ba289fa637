#include "thickness/thickness.h"

#include <cmath>

namespace verdask {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;  // 180 / pi

}  // namespace

double dotProduct(const Coord3& a, const Coord3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

double vectorLength(const Coord3& v) { return std::sqrt(dotProduct(v, v)); }

void normalizeVector(Coord3& v) {
  double length = vectorLength(v);
  v.x /= length;
  v.y /= length;
  v.z /= length;
}

double nearestThickness(const Coord3& p, const Coord3& normal, const double* trabecularCoords,
                        const int* candidates, double* angle) {
  const double* t = trabecularCoords + 3 * static_cast<long long>(candidates[0]);
  Coord3 direction{p.x - t[0], p.y - t[1], p.z - t[2]};
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
