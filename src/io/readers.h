// The three input readers of a run and the point sets they fill.
#pragma once

#include <cstdio>
#include <memory>

#include "io/point_set.h"

namespace verdask {

/// Coordinates beyond this size could overflow a squared distance in the kd-trees.
constexpr double kMaxCoordinate = 1e150;

/// Reads the mesh's triangle block for the vertex count, then that many node
/// lines; leaves the stream just after the last node line read.
int parseMeshVertices(FILE* mesh, PointSet& points, int& count);

int parseSurfVertices(FILE* surf, PointSet& points, int& count);

/// Allocates count normals into `normals` (the caller's from then on) and reads them.
int parseNormals(FILE* vtk, int count, std::unique_ptr<Coord3[]>& normals);

}  // namespace verdask
