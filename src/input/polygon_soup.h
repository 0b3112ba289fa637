// The checks and conversions every surface reader's soup goes through.
#pragma once

#include <vector>

#include "input/input_data.h"

namespace verdask {

/// Refuses a soup whose coordinates are not finite or beyond kMaxCoordinate,
/// whose polygon has fewer than three corners or names a point it lacks, or
/// whose normals do not match its points; `name` names the file.
Status checkSoup(const PolygonSoup& soup, const char* name);

/// Adds cells given by their running ends into `points` (point numbers as
/// read, -1 for one that is not a whole number): polygons as they are, strips
/// as their triangles; each number is counted from `firstPoint`.
void addCells(const std::vector<long long>& ends, const std::vector<long long>& points, bool strips,
              int firstPoint, PolygonSoup& soup);

/// Splits each polygon into triangles as a fan from its first corner; the
/// number of polygons that had more than three corners. A checked soup of triangles
/// alone hands its corners over.
int triangulate(PolygonSoup& soup, std::vector<int>& triangles);

/// Merges corners of equal coordinates (STL repeats them per facet) into
/// shared points, in order of first appearance; each corner's point goes to
/// `corners`.
void mergeEqualPoints(const std::vector<Coord3>& cornerPoints, std::vector<Coord3>& points,
                      std::vector<int>& corners);

}  // namespace verdask
