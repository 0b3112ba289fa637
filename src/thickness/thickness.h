// Thickness and angle at one point of the cortical surface.
#pragma once

#include <cmath>

#include "io/readers.h"

namespace verdask {

// Inline: the closest-point search calls them for every triangle it weighs.
inline Coord3 difference(const Coord3& a, const Coord3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline double dotProduct(const Coord3& a, const Coord3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Coord3 crossProduct(const Coord3& a, const Coord3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double vectorLength(const Coord3& v) { return std::sqrt(dotProduct(v, v)); }
void normalizeVector(Coord3& v);

/// Distance from cortical point p to trabecular point t, and in `angle` the
/// angle in degrees between the normal and the direction from t to p; not a
/// number when either has no direction.
double nearestThickness(const Coord3& p, const Coord3& normal, const Coord3& t, double* angle);

}  // namespace verdask
