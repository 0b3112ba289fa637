// Thickness and angle at one point of the cortical surface.
#pragma once

#include "base/coord3.h"

namespace verdask {

/// Distance from cortical point p to trabecular point t, and in `angle` the
/// angle in degrees between the normal and the direction from t to p; not a
/// number when either has no direction.
double nearestThickness(const Coord3& p, const Coord3& normal, const Coord3& t, double* angle);

}  // namespace verdask
