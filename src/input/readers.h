// The readers of the formats of old (.hmascii, .surf and the normals .vtk),
// and what a surface of any format is read into.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "input/input_data.h"
#include "input/point_set.h"

namespace verdask {

/// Coordinates beyond this size could overflow a squared distance in the kd-trees.
constexpr double kMaxCoordinate = 1e150;

/// What a surface's triangles are read for: not at all, for computed normals
/// alone (what is wrong with them is told only if the normals are computed),
/// or to measure to.
enum class TriangleUse { kNone, kNormals, kMeasure };

/// A surface as read, whatever its format.
struct SurfaceData {
  PointSet points;
  std::vector<int> corners;     // three per triangle, from 0
  std::vector<Coord3> normals;  // the normals the file carries, one per point, or none
  int splitPolygons = 0;        // polygons of more than three corners, split into triangles
  std::string triangleTrouble;  // why triangles read for the normals alone are not there
};

/// Reads a .hmascii mesh: the vertex count is the largest corner of the first
/// block of "tri3" and "quad4" lines, and that many node lines follow the
/// first "BEGIN NODES" line. The elements are the block of "*tri3" and
/// "*quad4" lines on from the last node line read; what is wrong with them
/// goes to mesh.elementFailure, for the deck stage to tell.
Status readHmascii(std::string_view data, const char* name, ShellMesh& mesh);

/// Reads a .surf surface's vertices, and when `use` asks for them, its
/// triangles: each patch's "Triangles m" line and m lines of three vertex
/// numbers (from 1). `name` names the file in messages.
Status readSurf(std::string_view data, const char* name, TriangleUse use, SurfaceData& surface);

/// A normals file read before the cortical count is known: scanNormals and
/// then takeNormals with the count.
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
  enum class End { kEndOfFile, kBadValue, kOutOfMemory };

  DataSection section;
  std::vector<Coord3> normals;  // every triple after the marker, up to the section's count
  End end = End::kEndOfFile;    // what stopped the triples
  FilePoints filePoints;
};

/// Finds the first piece (of 39 characters) containing "NORMALS" and reads
/// the triples after it, and the POINTS before it, on a second thread where
/// `threads` allows; fails when there is no such piece, or the file is binary.
Status scanNormals(std::string_view data, NormalsScan& scan, int threads = 1);

/// Takes `count` normals from a scan, failing when they are not there.
Status takeNormals(NormalsScan& scan, int count, std::vector<Coord3>& normals);

/// scanNormals, then takeNormals.
Status parseNormals(std::string_view data, int count, std::vector<Coord3>& normals);

/// Compares the POINTS a scanned normals file carries with the cortical
/// vertices, coordinate by coordinate, within the precision printed: half a
/// unit in the last digit the file wrote, plus single precision's rounding for
/// float POINTS, plus half a unit in the last digit the cortical file may have
/// written (its value's shortest form, to six significant digits at least).
/// Empty when they match or the file has no POINTS; else one line (no newline)
/// naming the first vertex, from 1, that differs, or the counts that do.
std::string compareNormalsPoints(const NormalsScan& scan, const PointSet& cortical);

}  // namespace verdask
