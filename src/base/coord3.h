// A point or a vector in three dimensions, and the arithmetic every floor does on them.
#pragma once

#include <cmath>
#include <cstddef>
#include <type_traits>

namespace verdask {

struct Coord3 {
  double x, y, z;
};

// Point blocks of three doubles are read as arrays of Coord3.
static_assert(sizeof(Coord3) == 3 * sizeof(double) && offsetof(Coord3, y) == sizeof(double) &&
                  offsetof(Coord3, z) == 2 * sizeof(double) && std::is_standard_layout_v<Coord3>,
              "Coord3 must be laid out as three consecutive doubles");

/// Whether all three values are finite numbers.
inline bool isFinite(const Coord3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

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
/// Divides v by its length, as it is: a zero vector becomes not-a-number.
inline void normalizeVector(Coord3& v) {
  double length = vectorLength(v);
  v.x /= length;
  v.y /= length;
  v.z /= length;
}

}  // namespace verdask
