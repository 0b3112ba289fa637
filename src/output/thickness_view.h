// What a user looks at before trusting a deck: the mesh with its thickness
// and angle as a VTK file, and a summary of the run.
#pragma once

#include <cstdio>
#include <vector>

#include "io/readers.h"
#include "thickness/thickness_pass.h"

namespace verdask {

/// Writes a legacy VTK polydata file: the mesh vertices, the triangles of the
/// deck (corners from 1, three per triangle) and the arrays thickness, angle
/// and cortical_vertex (an angle that is not a number is written as -1, as
/// VTK reads no "nan"); nonzero when the stream could not be written.
int writeThicknessVtk(FILE* vtk, const PointSet& mesh, const std::vector<int>& corners,
                      const float* thickness, const PassRecord& record);

/// Prints counts, thickness statistics, clamp counts and a ten-bin histogram.
void printRunSummary(int triangles, const float* thickness, const PassRecord& record);

}  // namespace verdask
