// What a user looks at before trusting a deck: the mesh with its thickness,
// angle and cortical vertex, as a file ParaView, VTK and meshio all open.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "input/point_set.h"
#include "input/shell_elements.h"
#include "thickness/thickness_pass.h"

namespace verdask {

enum class ViewFormat { kLegacy, kUnstructuredXml, kPolyDataXml };

/// The view's format by its name: .vtu and .vtp VTK XML, anything else legacy VTK.
ViewFormat viewFormatOf(const std::string& name);

/// Writes the mesh vertices, the deck's elements (triangles and
/// quadrilaterals) and the point arrays thickness (the active scalars), angle,
/// cortical_vertex, mesh_to_cortical and quality (as Quality), and, after
/// -fill or -smooth, raw_thickness (the thickness as measured): as a
/// legacy ASCII unstructured grid
/// (an angle that is not a number written as -1, since VTK's legacy reader
/// reads no "nan"), or as VTK XML with the arrays inline in base64,
/// not-a-number kept. Nonzero when the stream could not be written.
Status writeThicknessView(FILE* view, ViewFormat format, const PointSet& mesh,
                          const ShellElements& elements, const float* thickness,
                          const PassRecord& record);

}  // namespace verdask
