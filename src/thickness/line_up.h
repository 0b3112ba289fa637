// Whether the mesh lies on the cortical surface: a mesh in other units, or
// moved away from its surfaces, still gives plausible thicknesses.
#pragma once

#include <string>
#include <vector>

#include "io/point_set.h"

namespace verdask {

/// How far the mesh vertices lie from the cortical surface.
struct LineUp {
  double median = 0, percentile95 = 0, maximum = 0;
};

LineUp lineUpOf(std::vector<double> meshToCortical);

/// Empty when the mesh lines up with the cortical surface: its 95th
/// percentile distance is at most half the median thickness, plus `spacing`
/// where distances are taken to the surface's vertices rather than to its
/// triangles. Otherwise the warning, naming the likely cause.
std::string lineUpWarning(const LineUp& lineUp, double medianThickness, double spacing,
                          const PointSet& mesh, const PointSet& cortical);

/// The median of `count` thicknesses.
double medianThickness(const float* thickness, int count);

}  // namespace verdask
