// Normals for a cortical surface that comes without them.
#pragma once

#include <string>
#include <vector>

#include "input/point_set.h"
#include "thickness/nearest_vertex.h"

namespace verdask {

/// Each point's normal from the triangles (corners from 0, three each) that
/// meet at it, weighted by their angle there, of unit length; a point on no
/// triangle with an area gets a zero normal. Triangles may form any soup.
std::vector<Coord3> angleWeightedNormals(const PointSet& points, const std::vector<int>& triangles);

/// The signed volume a closed surface's triangles enclose: positive when they
/// wind outwards (counter-clockwise seen from outside); 0 when the triangles
/// do not close a surface, each edge met once in each direction, since an open
/// or inconsistently wound soup has no inside.
double enclosedVolume(const PointSet& points, const std::vector<int>& triangles);

/// Whether most normals point towards the other surface (their point's
/// nearest vertex of it lies ahead), as when a file's triangles wind inwards.
bool mostPointTowards(const PointSet& points, const std::vector<Coord3>& normals,
                      const NearestVertex& other, const PointSet& otherPoints, int threads);

/// How computed cortical normals were turned outwards.
struct NormalsTurn {
  bool windsInwards = false;     // the closed surface's triangles wind inwards: all turned
  bool turnedFromOther = false;  // an open surface's normals pointed towards the other: all turned
  std::string finding;  // the trabecular surface lies outside the closed one: the surfaces swapped
};

/// Turns the normals computed from `triangles` outwards: by the volume a
/// closed surface encloses, else away from the trabecular surface `other`
/// (null when there is none); `name` names the cortical surface in the finding.
NormalsTurn turnOutwards(const char* name, const PointSet& points,
                         const std::vector<int>& triangles, const NearestVertex* other,
                         const PointSet& otherPoints, int threads, std::vector<Coord3>& normals);

}  // namespace verdask
