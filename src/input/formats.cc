#include "input/formats.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/progress.h"
#include "input/polygon_soup.h"
#include "input/scan.h"

namespace verdask {

namespace {

// In the order the refusal of an unknown extension lists them.
const InputFormat kFormats[] = {
    // extension, soup, surface, mesh, normals, binary, ofOld
    {".hmascii", nullptr, nullptr, readHmascii, nullptr, false, true},
    {".surf", nullptr, readSurf, nullptr, nullptr, false, true},
    {".inp", nullptr, nullptr, readAbaqus, nullptr, false, false},
    {".k", nullptr, nullptr, readDyna, nullptr, false, false},
    {".key", nullptr, nullptr, readDyna, nullptr, false, false},
    {".msh", nullptr, nullptr, readGmsh, nullptr, false, false},
    {".stl", readStl, nullptr, nullptr, nullptr, true, false},
    {".ply", readPly, nullptr, nullptr, nullptr, true, false},
    {".obj", readObj, nullptr, nullptr, nullptr, false, false},
    {".off", readOff, nullptr, nullptr, nullptr, false, false},
    {".vtk", readVtkPolyData, nullptr, nullptr, scanNormals, true, false},
    {".vtp", readVtp, nullptr, nullptr, nullptr, true, false},
};

// A name without an extension is read as the role's format of old.
const char* const kExtensionOfOld[] = {".hmascii", ".surf", ".vtk"};

bool standsAs(const InputFormat& format, InputRole role) {
  return role == InputRole::kMesh      ? format.mesh || format.soup
         : role == InputRole::kSurface ? format.surface || format.soup
                                       : format.normals != nullptr;
}

// Closest points on a triangle multiply up to four coordinate differences:
// beyond this width they would overflow a double.
constexpr double kWidestTriangle = 1e75;

double squaredDistance(const Coord3& a, const Coord3& b) {
  return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z);
}

// A surface of polygons: its points, its polygons as triangles, its normals.
Status readSoupSurface(SoupReader reader, std::string_view data, const char* name,
                       SurfaceData& surface) {
  PolygonSoup soup;
  if (Status status = reader(data, name, soup)) return status;
  if (Status status = checkSoup(soup, name)) return status;
  if (!surface.points.assign(soup.points)) {
    return readFailure("%s: no points, or more than can be held", name);
  }
  countSurfaceVertices(surface.points.count());
  surface.splitPolygons = triangulate(soup, surface.corners);
  surface.normals = std::move(soup.normals);
  return {};
}

Status readSoupMesh(SoupReader reader, std::string_view data, const char* name, ShellMesh& mesh) {
  PolygonSoup soup;
  if (Status status = reader(data, name, soup)) return status;
  if (Status status = checkSoup(soup, name)) return status;
  if (soup.polygonCount() == 0) return readFailure("%s: no polygons to mesh", name);
  meshOfSoup(soup, mesh);
  return {};
}

Status loadFile(FILE* file, const char* name, FileBytes& bytes) {
  if (!bytes.load(file)) return readFailure("%s: the file cannot be read", name);
  return {};
}

}  // namespace

void meshOfSoup(PolygonSoup& soup, ShellMesh& mesh) {
  mesh.nodes = std::move(soup.points);
  for (int f = 0; f < soup.polygonCount(); ++f) {
    const int* c = soup.firstCorner(f);
    if (soup.cornersOf(f) == 4) {
      mesh.elements.addQuad(c[0] + 1, c[1] + 1, c[2] + 1, c[3] + 1);
      continue;
    }
    for (int k = 1; k + 1 < soup.cornersOf(f); ++k) {
      mesh.elements.addTriangle(c[0] + 1, c[k] + 1, c[k + 1] + 1);
    }
  }
}

const InputFormat* inputFormatOf(const char* name, InputRole role) {
  std::string base = name;
  if (base.size() > 3 && strcasecmp(base.c_str() + base.size() - 3, ".gz") == 0) {
    base.resize(base.size() - 3);
  }
  size_t slash = base.rfind('/'), dot = base.rfind('.');
  bool none = dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == 0 ||
              dot == slash + 1;
  const char* extension = none ? kExtensionOfOld[static_cast<int>(role)] : base.c_str() + dot;
  for (const InputFormat& format : kFormats) {
    if (strcasecmp(extension, format.extension) == 0 && standsAs(format, role)) return &format;
  }
  return nullptr;
}

bool isTextInput(const InputFormat& format, InputRole role) {
  return role == InputRole::kNormals || !format.binary;
}

std::string fileWords(const char* name, const InputFormat& format, const char* roleWord) {
  return format.ofOld ? roleWord + std::string(format.extension) : name;
}

std::string supportedExtensions(InputRole role) {
  std::string list;
  for (const InputFormat& format : kFormats) {
    if (standsAs(format, role)) list += (list.empty() ? "" : ", ") + std::string(format.extension);
  }
  return role == InputRole::kNormals
             ? list + ", or - for the cortical file's own or computed normals"
             : list;
}

Status checkTriangleWidths(const PointSet& points, const std::vector<int>& corners,
                           const char* name) {
  for (size_t t = 0; t < corners.size() / 3; ++t) {
    const Coord3 &a = points.point(corners[3 * t]), &b = points.point(corners[3 * t + 1]),
                 &c = points.point(corners[3 * t + 2]);
    double widest = std::max({squaredDistance(a, b), squaredDistance(b, c), squaredDistance(c, a)});
    if (!(widest <= kWidestTriangle * kWidestTriangle)) {
      return readFailure(
          "Triangle #%zu of %s is wider than %g: -surface measures narrower triangles only", t + 1,
          name, kWidestTriangle);
    }
  }
  return {};
}

Status readSurfaceFile(FILE* file, const char* name, const InputFormat& format, TriangleUse use,
                       SurfaceData& surface) {
  FileBytes bytes;
  if (Status status = loadFile(file, name, bytes)) return status;
  Status status = format.surface ? format.surface(bytes.view(), name, use, surface)
                                 : readSoupSurface(format.soup, bytes.view(), name, surface);
  if (!status && use == TriangleUse::kMeasure) {
    status = checkTriangleWidths(surface.points, surface.corners, name);
  }
  return status;
}

Status readMeshFile(FILE* file, const char* name, const InputFormat& format, ShellMesh& mesh) {
  FileBytes bytes;
  if (Status status = loadFile(file, name, bytes)) return status;
  return format.mesh ? format.mesh(bytes.view(), name, mesh)
                     : readSoupMesh(format.soup, bytes.view(), name, mesh);
}

Status scanNormalsFile(FILE* file, const char* name, const InputFormat& format, NormalsScan& scan,
                       int threads) {
  FileBytes bytes;
  if (Status status = loadFile(file, name, bytes)) return status;
  return format.normals(bytes.view(), scan, threads);
}

}  // namespace verdask
