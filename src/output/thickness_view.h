// What a user looks at before trusting a deck: the mesh with its thickness,
// angle and cortical vertex, as a file ParaView, VTK and meshio all open.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "io/point_set.h"
#include "thickness/thickness_pass.h"

namespace verdask {

/// Whether a view of this name is written as VTK XML (.vtu) rather than legacy VTK.
bool isXmlViewName(const std::string& name);

/// Writes the mesh vertices, the deck's triangles (corners from 1, three per
/// triangle) and the point arrays thickness, angle and cortical_vertex: as a
/// legacy ASCII unstructured grid with the arrays as point field data (an
/// angle that is not a number written as -1, since VTK's legacy reader reads
/// no "nan"), or as VTK XML with the arrays inline in base64, not-a-number
/// kept. Nonzero when the stream could not be written.
int writeThicknessView(FILE* view, bool xml, const PointSet& mesh, const std::vector<int>& corners,
                       const float* thickness, const PassRecord& record);

}  // namespace verdask
