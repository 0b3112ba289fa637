// The file formats of the inputs, told by their names, and one reader for each.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "input/input_data.h"

namespace verdask {

/// More polygons, points or facets than this are refused before any is read.
constexpr long long kMostPolygons = 1LL << 29;

enum class InputFormat {
  kHmascii,
  kSurf,
  kVtkNormals,  // the formats of old, read by io/
  kStl,
  kPly,
  kObj,
  kOff,
  kVtk,
  kVtp,  // surfaces
  kAbaqus,
  kDyna,
  kGmsh,  // meshes with their own numbers
  kUnknown
};

/// Where an input stands on the command line.
enum class InputRole { kMesh, kSurface, kNormals };

/// The format of an input by its name's extension (case-insensitive, a ".gz"
/// passed over): a name without one is read as the role's format of old.
InputFormat inputFormatOf(const char* name, InputRole role);

/// Whether a file of the format is text throughout: a NUL byte cannot be in it
/// (binary STL, PLY and legacy VTK surfaces, and VTK XML's raw data, may hold them).
bool isTextFormat(InputFormat format);

/// The line naming the extensions a role takes, for an unknown one.
std::string supportedExtensions(InputRole role);

/// Reads a surface in any of the surface formats; 0 or kReadFailed after reporting.
int readPolygonSoup(FILE* file, const char* name, InputFormat format, PolygonSoup& soup);

/// Reads a mesh of an own-numbered or a surface format (numbered 1, 2, ... then).
int readShellMesh(FILE* file, const char* name, InputFormat format, ShellMesh& mesh);

/// A surface taken as a mesh: its points numbered from 1, a polygon of four
/// corners a quadrilateral, larger ones split into triangles.
void meshOfSoup(PolygonSoup& soup, ShellMesh& mesh);

int readStl(std::string_view data, const char* name, PolygonSoup& soup);
int readPly(std::string_view data, const char* name, PolygonSoup& soup);
int readObj(std::string_view data, const char* name, PolygonSoup& soup);
int readOff(std::string_view data, const char* name, PolygonSoup& soup);
int readVtkPolyData(std::string_view data, const char* name, PolygonSoup& soup);
int readVtp(std::string_view data, const char* name, PolygonSoup& soup);

int readAbaqus(std::string_view data, const char* name, ShellMesh& mesh);
int readDyna(std::string_view data, const char* name, ShellMesh& mesh);
int readGmsh(std::string_view data, const char* name, ShellMesh& mesh);

}  // namespace verdask
