// Thickness and angle of one cortical vertex.
#pragma once

#include "io/readers.h"

namespace verdask {

/// The trabecular query's list length.
constexpr int kCandidateCount = 400;

double dotProduct(const Coord3& a, const Coord3& b);
double vectorLength(const Coord3& v);
void normalizeVector(Coord3& v);

/// Distance from cortical vertex p to the first candidate (the nearest
/// trabecular vertex), and in `angle` the angle in degrees between the normal
/// and the direction from that vertex to p; not a number when either has no direction.
double nearestThickness(const Coord3& p, const Coord3& normal, const double* trabecularCoords,
                        const int* candidates, double* angle);

}  // namespace verdask
