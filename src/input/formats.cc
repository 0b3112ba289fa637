#include "input/formats.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "input/polygon_soup.h"
#include "input/scan.h"

namespace verdask {

namespace {

struct Extension {
  const char* text;
  InputFormat format;
  bool mesh, surface, normals;  // the roles it may stand in
};

// In the order the refusal of an unknown extension lists them.
const Extension kExtensions[] = {
    {".hmascii", InputFormat::kHmascii, true, false, false},
    {".surf", InputFormat::kSurf, false, true, false},
    {".inp", InputFormat::kAbaqus, true, false, false},
    {".k", InputFormat::kDyna, true, false, false},
    {".key", InputFormat::kDyna, true, false, false},
    {".msh", InputFormat::kGmsh, true, false, false},
    {".stl", InputFormat::kStl, true, true, false},
    {".ply", InputFormat::kPly, true, true, false},
    {".obj", InputFormat::kObj, true, true, false},
    {".off", InputFormat::kOff, true, true, false},
    {".vtk", InputFormat::kVtk, true, true, true},
    {".vtp", InputFormat::kVtp, true, true, false},
};

bool standsAs(const Extension& extension, InputRole role) {
  return role == InputRole::kMesh      ? extension.mesh
         : role == InputRole::kSurface ? extension.surface
                                       : extension.normals;
}

using SoupReader = int (*)(std::string_view, const char*, PolygonSoup&);

SoupReader soupReaderOf(InputFormat format) {
  switch (format) {
    case InputFormat::kStl:
      return readStl;
    case InputFormat::kPly:
      return readPly;
    case InputFormat::kObj:
      return readObj;
    case InputFormat::kOff:
      return readOff;
    case InputFormat::kVtk:
      return readVtkPolyData;
    case InputFormat::kVtp:
      return readVtp;
    default:
      return nullptr;
  }
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

InputFormat inputFormatOf(const char* name, InputRole role) {
  std::string base = name;
  if (base.size() > 3 && strcasecmp(base.c_str() + base.size() - 3, ".gz") == 0) {
    base.resize(base.size() - 3);
  }
  size_t slash = base.rfind('/'), dot = base.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == 0 ||
      dot == slash + 1) {
    return role == InputRole::kMesh      ? InputFormat::kHmascii
           : role == InputRole::kSurface ? InputFormat::kSurf
                                         : InputFormat::kVtkNormals;
  }
  for (const Extension& extension : kExtensions) {
    if (strcasecmp(base.c_str() + dot, extension.text) != 0 || !standsAs(extension, role)) continue;
    return role == InputRole::kNormals ? InputFormat::kVtkNormals : extension.format;
  }
  return InputFormat::kUnknown;
}

bool isTextFormat(InputFormat format) {
  return format != InputFormat::kStl && format != InputFormat::kPly &&
         format != InputFormat::kVtk && format != InputFormat::kVtp;
}

std::string supportedExtensions(InputRole role) {
  std::string list;
  for (const Extension& extension : kExtensions) {
    if (standsAs(extension, role)) list += (list.empty() ? "" : ", ") + std::string(extension.text);
  }
  return role == InputRole::kNormals
             ? list + ", or - for the cortical file's own or computed normals"
             : list;
}

int readPolygonSoup(FILE* file, const char* name, InputFormat format, PolygonSoup& soup) {
  FileBytes bytes;
  SoupReader reader = soupReaderOf(format);
  if (!reader) return readFailure("%s: not a surface format", name);
  if (!bytes.load(file)) return readFailure("%s: the file cannot be read", name);
  if (int status = reader(bytes.view(), name, soup)) return status;
  return checkSoup(soup, name);
}

int readShellMesh(FILE* file, const char* name, InputFormat format, ShellMesh& mesh) {
  FileBytes bytes;
  if (!bytes.load(file)) return readFailure("%s: the file cannot be read", name);
  std::string_view data = bytes.view();
  switch (format) {
    case InputFormat::kAbaqus:
      return readAbaqus(data, name, mesh);
    case InputFormat::kDyna:
      return readDyna(data, name, mesh);
    case InputFormat::kGmsh:
      return readGmsh(data, name, mesh);
    default:
      break;
  }
  SoupReader reader = soupReaderOf(format);
  PolygonSoup soup;
  if (!reader) return readFailure("%s: not a mesh format", name);
  if (int status = reader(data, name, soup)) return status;
  if (int status = checkSoup(soup, name)) return status;
  if (soup.polygonCount() == 0) return readFailure("%s: no polygons to mesh", name);
  meshOfSoup(soup, mesh);
  return 0;
}

}  // namespace verdask
