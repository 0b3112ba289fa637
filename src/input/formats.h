// The file formats of the inputs, told by their names' extensions: one row
// each, carrying the format's readers. A new format is a reader of its own
// file and one row.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "input/input_data.h"
#include "input/readers.h"

namespace verdask {

/// More polygons, points or facets than this are refused before any is read.
constexpr long long kMostPolygons = 1LL << 29;

/// Where an input stands on the command line.
enum class InputRole { kMesh, kSurface, kNormals };

using SoupReader = Status (*)(std::string_view data, const char* name, PolygonSoup& soup);
using SurfaceReader = Status (*)(std::string_view data, const char* name, TriangleUse use,
                                 SurfaceData& surface);
using MeshReader = Status (*)(std::string_view data, const char* name, ShellMesh& mesh);
using NormalsReader = Status (*)(std::string_view data, NormalsScan& scan, int threads);

/// A file format and its readers, one for each role it may stand in: a
/// format of polygons (`soup`) is read as a surface, or as a mesh of them.
struct InputFormat {
  const char* extension;  // with its dot
  SoupReader soup;
  SurfaceReader surface;  // a surface of its own kind
  MeshReader mesh;        // a mesh of its own kind
  NormalsReader normals;
  bool binary;  // its surfaces and meshes may hold NUL bytes
  bool ofOld;   // the run's lines name such a file by their words of old: mesh.hmascii, cort.surf
};

/// The format of an input by its name's extension (case-insensitive, a ".gz"
/// passed over), when it may stand in the role; a name without one is read
/// as the role's format of old. Null for any other.
const InputFormat* inputFormatOf(const char* name, InputRole role);

/// Whether an input of the format in the role is text throughout: a NUL
/// byte cannot be in it. The normals file is text.
bool isTextInput(const InputFormat& format, InputRole role);

/// How the run's lines name an input: a file of a format of old by the words
/// they have always had, the role's word and the extension ("cort.surf").
std::string fileWords(const char* name, const InputFormat& format, const char* roleWord);

/// The line naming the extensions a role takes, for an unknown one.
std::string supportedExtensions(InputRole role);

/// Reads the rest of a surface file with its format's reader: its points,
/// its polygons as triangles and the normals it carries. Triangles read to
/// measure to must be narrow enough for the closest-point search (1e75).
Status readSurfaceFile(FILE* file, const char* name, const InputFormat& format, TriangleUse use,
                       SurfaceData& surface);

/// Reads the rest of a mesh file with its format's reader (a surface format's
/// points numbered 1, 2, ... then).
Status readMeshFile(FILE* file, const char* name, const InputFormat& format, ShellMesh& mesh);

/// Scans the rest of a normals file with its format's reader.
Status scanNormalsFile(FILE* file, const char* name, const InputFormat& format, NormalsScan& scan,
                       int threads = 1);

/// A surface taken as a mesh: its points numbered from 1, a polygon of four
/// corners a quadrilateral, larger ones split into triangles.
void meshOfSoup(PolygonSoup& soup, ShellMesh& mesh);

/// Refuses a surface with a triangle wider than the closest-point search
/// can measure (1e75).
Status checkTriangleWidths(const PointSet& points, const std::vector<int>& corners,
                           const char* name);

Status readStl(std::string_view data, const char* name, PolygonSoup& soup);
Status readPly(std::string_view data, const char* name, PolygonSoup& soup);
Status readObj(std::string_view data, const char* name, PolygonSoup& soup);
Status readOff(std::string_view data, const char* name, PolygonSoup& soup);
Status readVtkPolyData(std::string_view data, const char* name, PolygonSoup& soup);
Status readVtp(std::string_view data, const char* name, PolygonSoup& soup);

Status readAbaqus(std::string_view data, const char* name, ShellMesh& mesh);
Status readDyna(std::string_view data, const char* name, ShellMesh& mesh);
Status readGmsh(std::string_view data, const char* name, ShellMesh& mesh);

}  // namespace verdask
