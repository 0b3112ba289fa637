// A nodal thickness table for solvers that take one: Abaqus's *NODAL THICKNESS.
#pragma once

#include <cstdio>

#include "base/status.h"
#include "input/shell_elements.h"

namespace verdask {

/// Writes "*NODAL THICKNESS" and one "node, thickness" line per mesh vertex
/// (the mesh's own node numbers, the stored thickness in its shortest exact form), for an
/// *INCLUDE under a *SHELL SECTION with NODAL THICKNESS; fails when the
/// stream could not be written.
Status writeNodalThickness(FILE* table, const float* thickness, int vertexCount,
                           const ShellElements& numbering);

}  // namespace verdask
