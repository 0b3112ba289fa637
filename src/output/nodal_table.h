// A nodal thickness table for solvers that take one: Abaqus's *NODAL THICKNESS.
#pragma once

#include <cstdio>

namespace verdask {

/// Writes "*NODAL THICKNESS" and one "node, thickness" line per mesh vertex
/// (nodes from 1, the stored thickness in its shortest exact form), for an
/// *INCLUDE under a *SHELL SECTION with NODAL THICKNESS; nonzero when the
/// stream could not be written.
int writeNodalThickness(FILE* table, const float* thickness, int vertexCount);

}  // namespace verdask
