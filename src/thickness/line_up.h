// Whether the mesh lies on the cortical surface: a mesh in other units, or
// moved away from its surfaces, still gives plausible thicknesses.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "input/point_set.h"

namespace verdask {

/// How far the mesh vertices lie from the cortical surface.
struct LineUp {
  double median = 0, percentile95 = 0, maximum = 0;
};

LineUp lineUpOf(std::vector<double> meshToCortical);

/// Whether the mesh lines up with a surface: the 95th percentile of its
/// distances is at most half the median thickness, plus `spacing` where
/// distances are taken to the surface's vertices rather than to its triangles.
bool linesUp(const LineUp& lineUp, double medianThickness, double spacing);

/// What the line-up of mesh and cortical surface tells: nothing, a doubt, or
/// (plain) inputs that do not fit together.
struct LineUpFinding {
  std::string text;    // empty when the mesh lines up
  bool plain = false;  // the surfaces swapped, the mesh in other units, or moved
};

/// The finding, naming the likely cause; `meshToTrabecular` gives the mesh's
/// distances to the trabecular surface, asked for only when the mesh does not
/// line up, since a mesh on the trabecular surface means the surfaces are swapped.
LineUpFinding lineUpFinding(const LineUp& lineUp, double medianThickness, double spacing,
                            const PointSet& mesh, const PointSet& cortical,
                            const std::function<std::vector<double>()>& meshToTrabecular);

/// The median of `count` thicknesses.
double medianThickness(const float* thickness, int count);

}  // namespace verdask
