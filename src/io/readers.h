// The three input readers of a run and the point sets they fill.
#pragma once

#include <cstdio>
#include <vector>

#include "io/point_set.h"

namespace verdask {

/// Coordinates beyond this size could overflow a squared distance in the kd-trees.
constexpr double kMaxCoordinate = 1e150;

/// Reads the mesh's triangle block for the vertex count, then that many node
/// lines; leaves the stream just after the last node line read.
int parseMeshVertices(FILE* mesh, PointSet& points, int& count);

int parseSurfVertices(FILE* surf, PointSet& points, int& count);

/// Reads a surface's triangles on from where parseSurfVertices left the
/// stream: each patch's "Triangles m" line and m lines of three vertex numbers
/// (from 1). Corners go to `corners` from 0, three per triangle; `name`
/// names the file in messages.
int parseSurfTriangles(FILE* surf, const char* name, int vertexCount, std::vector<int>& corners);

/// parseSurfTriangles's status for a file without triangles.
constexpr int kSurfWithoutTriangles = -2;

/// Refuses a surface with a triangle wider than the closest-point search
/// can measure (1e75).
int checkTriangleWidths(const PointSet& points, const std::vector<int>& corners, const char* name);

/// Reads count normals into `normals`.
int parseNormals(FILE* vtk, int count, std::vector<Coord3>& normals);

/// A normals file read before the cortical count is known: parseNormals is
/// scanNormals and then takeNormals with the count.
struct NormalsScan {
  /// The last POINT_DATA or CELL_DATA line before the marker: what the normals belong to.
  struct DataSection {
    enum Kind { kNone, kPoints, kCells } kind = kNone;
    long long count = -1;  // -1 when the line gives none
  };
  enum class End { kEndOfFile, kBadValue, kCannotSeek, kOutOfMemory };

  int status = 0;  // the marker search's failure, already reported
  DataSection section;
  std::vector<Coord3> normals;  // every triple after the marker, up to the section's count
  End end = End::kEndOfFile;    // what stopped the triples
};

/// Finds the marker and reads the triples after it; the marker search's status.
int scanNormals(FILE* vtk, NormalsScan& scan);

/// Takes `count` normals from a scan, reporting what is missing; the reader's status.
int takeNormals(NormalsScan& scan, int count, std::vector<Coord3>& normals);

}  // namespace verdask
