// The three input readers of a run and the point sets they fill.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "input/point_set.h"

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
  /// The POINTS line before the marker and its values, as printed: the vertices
  /// the normals were written for.
  struct FilePoints {
    long long count = -1;             // the line's count; -1 when the file has no POINTS
    bool single = false;              // declared float: rounded to single precision
    std::vector<Coord3> points;       // up to count; fewer when a value is no plain decimal
    std::vector<int16_t> lastDigits;  // per value, the power of ten of its last digit printed
  };
  enum class End { kEndOfFile, kBadValue, kCannotSeek, kOutOfMemory };

  int status = 0;  // the marker search's failure, already reported
  DataSection section;
  std::vector<Coord3> normals;  // every triple after the marker, up to the section's count
  End end = End::kEndOfFile;    // what stopped the triples
  FilePoints filePoints;        // read once the normals are
};

/// Finds the marker and reads the triples after it; the marker search's status.
int scanNormals(FILE* vtk, NormalsScan& scan);

/// Takes `count` normals from a scan, reporting what is missing; the reader's status.
int takeNormals(NormalsScan& scan, int count, std::vector<Coord3>& normals);

/// Compares the POINTS a scanned normals file carries with the cortical
/// vertices, coordinate by coordinate, within the precision printed: half a
/// unit in the last digit the file wrote, plus single precision's rounding for
/// float POINTS, plus half a unit in the last digit the cortical file may have
/// written (its value's shortest form, to six significant digits at least).
/// Empty when they match or the file has no POINTS; else one line (no newline)
/// naming the first vertex, from 1, that differs, or the counts that do.
std::string compareNormalsPoints(const NormalsScan& scan, const PointSet& cortical);

}  // namespace verdask
