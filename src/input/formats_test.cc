#include "input/formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "input/polygon_soup.h"
#include "input/scan.h"
#include "test_util.h"

namespace verdask {

namespace {

// Appends `value` in the given byte order, whatever the host's.
template <typename T>
void appendValue(std::string& data, T value, bool bigEndian) {
  char bytes[sizeof(T)];
  memcpy(bytes, &value, sizeof(T));
  if (bigEndian != kBigEndianHost) std::reverse(bytes, bytes + sizeof(T));
  data.append(bytes, sizeof(T));
}

// Binary STL of the given facets (nine floats each).
std::string binaryStl(const std::vector<std::vector<float>>& facets, int claimed,
                      const char* head) {
  std::string data(80, ' ');
  memcpy(data.data(), head, strlen(head));
  appendValue<uint32_t>(data, claimed, false);
  for (const auto& corners : facets) {
    data.append(12, '\0');
    for (float v : corners) appendValue(data, v, false);
    data.append(2, '\0');
  }
  return data;
}

std::string bigEndianPly() {
  std::string data =
      "ply\nformat binary_big_endian 1.0\nelement vertex 3\nproperty double x\nproperty double "
      "y\nproperty double z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";
  for (double v : {0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 2.0, 0.0}) appendValue(data, v, true);
  data += std::string("\x03\0\0\0\0\0\0\0\x01\0\0\0\x02", 13);
  return data;
}

// Points or normals as one line to compare: "x y z, x y z".
std::string triples(const std::vector<Coord3>& points) {
  std::string text;
  char line[100];
  for (const Coord3& p : points) {
    snprintf(line, sizeof line, "%s%g %g %g", text.empty() ? "" : ", ", p.x, p.y, p.z);
    text += line;
  }
  return text;
}

// A soup as one line: its points, its polygons' corners, its normals.
std::string soupText(const PolygonSoup& soup) {
  std::string polygons;
  for (int f = 0; f < soup.polygonCount(); ++f) {
    polygons += f ? ", " : "";
    for (int k = 0; k < soup.cornersOf(f); ++k) {
      polygons += (k ? " " : "") + std::to_string(soup.firstCorner(f)[k]);
    }
  }
  return triples(soup.points) + " | " + polygons + " | " + triples(soup.normals);
}

struct SoupCase {
  const char* name;
  SoupReader reader;
  std::string text;
  std::string soup;  // as soupText gives it
};

TEST(SurfaceReaders, TakePointsPolygonsAndNormalsAsTheFormatsHoldThem) {
  const std::vector<SoupCase> cases = {
      {"stl ascii, a shared edge", readStl,
       "solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
       "endloop\nendfacet\nfacet normal 0 0 1\n outer loop vertex 1 0 0 vertex 1 1 0\n"
       "vertex 0 1 0 endloop endfacet\nendsolid a\n",
       "0 0 0, 1 0 0, 0 1 0, 1 1 0 | 0 1 2, 1 3 2 | "},
      {"stl binary whose header says solid: -0 is 0", readStl,
       binaryStl({{0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 0, 0, -0.0f, 1, 0, 1, 1, 0.5}}, 2, "solid x"),
       "0 0 0, 1 0 0, 0 1 0, 1 1 0.5 | 0 1 2, 1 2 3 | "},
      {"ply ascii: normals, a quad, another element passed over", readPly,
       "ply\nformat ascii 1.0\ncomment x\nelement vertex 4\nproperty float x\nproperty float y\n"
       "property float z\nproperty float nx\nproperty float ny\nproperty float nz\nproperty uchar "
       "red\nelement edge 1\nproperty int a\nproperty int b\nelement face 1\nproperty list uchar "
       "int vertex_index\nend_header\n0 0 0 0 0 1 9\n1 0 0 0 0 1 9\n1 1 0 0 1 0 9\n0 1 0 1 0 0 "
       "9\n0 1\n4 0 1 2 3\n",
       "0 0 0, 1 0 0, 1 1 0, 0 1 0 | 0 1 2 3 | 0 0 1, 0 0 1, 0 1 0, 1 0 0"},
      {"ply binary big-endian", readPly, bigEndianPly(), "0 0 0, 1 0 0, 0 2 0 | 0 1 2 | "},
      {"obj: a vertex's first normal, a negative index, a quad", readObj,
       "# x\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nvn 0 1 0\ng a\n"
       "f 1//1 2//1 3//2 4//1\nf -4/1/2 -2/1/1 -1/1/1\nl 1 2\n",
       "0 0 0, 1 0 0, 1 1 0, 0 1 0 | 0 1 2 3, 0 2 3 | 0 0 1, 0 0 1, 0 1 0, 0 0 1"},
      {"off with normals and comments", readOff,
       "NOFF\n# c\n3 1 0\n0 0 0 0 0 1\n1 0 0 0 0 1 # c\n0 1 0 0 1 0\n3 0 1 2 255 0 0\n",
       "0 0 0, 1 0 0, 0 1 0 | 0 1 2 | 0 0 1, 0 0 1, 0 1 0"},
      {"legacy vtk 4.2: a strip's triangles turned alike, point normals after a scalar",
       readVtkPolyData,
       "# vtk DataFile Version 4.2\nt\nASCII\nDATASET POLYDATA\nPOINTS 4 float\n0 0 0 1 0 0 0 1 "
       "0 1 1 0\nTRIANGLE_STRIPS 1 5\n4 0 1 2 3\nPOINT_DATA 4\nSCALARS s float 1\nLOOKUP_TABLE "
       "default\n1 2 3 4\nNORMALS n float\n0 0 1 0 0 1 0 0 1 0 1 0\n",
       "0 0 0, 1 0 0, 0 1 0, 1 1 0 | 0 1 2, 2 1 3 | 0 0 1, 0 0 1, 0 0 1, 0 1 0"},
      {"vtp ascii", readVtp,
       "<VTKFile type=\"PolyData\"><PolyData><Piece NumberOfPoints=\"3\" NumberOfPolys=\"1\">"
       "<Points><DataArray type=\"Float64\" NumberOfComponents=\"3\" format=\"ascii\">0 0 0 1 0 0 "
       "0 1 0</DataArray></Points><Polys><DataArray type=\"Int32\" Name=\"connectivity\" "
       "format=\"ascii\">0 1 2</DataArray><DataArray type=\"Int32\" Name=\"offsets\" "
       "format=\"ascii\">3</DataArray></Polys></Piece></PolyData></VTKFile>",
       "0 0 0, 1 0 0, 0 1 0 | 0 1 2 | "},
      {"vtp binary big-endian", readVtp,
       "<VTKFile type=\"PolyData\" byte_order=\"BigEndian\"><PolyData><Piece NumberOfPoints=\"3\" "
       "NumberOfPolys=\"1\"><Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" "
       "format=\"binary\">AAAAJAAAAAAAAAAAAAAAAD+AAAAAAAAAAAAAAAAAAABAIAAAv4AAAA==</DataArray>"
       "</Points><Polys><DataArray type=\"Int32\" Name=\"connectivity\" format=\"binary\">"
       "AAAADAAAAAAAAAABAAAAAg==</DataArray><DataArray type=\"Int32\" Name=\"offsets\" "
       "format=\"ascii\">3</DataArray></Polys></Piece></PolyData></VTKFile>",
       "0 0 0, 1 0 0, 0 2.5 -1 | 0 1 2 | "},
  };
  for (const SoupCase& c : cases) {
    PolygonSoup soup;
    Status status = c.reader(c.text, "s", soup);
    ASSERT_FALSE(status) << c.name << ": " << status.message;
    EXPECT_FALSE(checkSoup(soup, "s")) << c.name;
    EXPECT_EQ(soupText(soup), c.soup) << c.name;
  }
}

TEST(SurfaceReaders, SplitPolygonsIntoFansFromTheirFirstCorner) {
  PolygonSoup soup;
  soup.corners = {0, 1, 2, 3, 4, 2, 1, 0};
  soup.ends = {5, 8};
  std::vector<int> triangles;
  EXPECT_EQ(triangulate(soup, triangles), 1);
  EXPECT_EQ(triangles, (std::vector<int>{0, 1, 2, 0, 2, 3, 0, 3, 4, 2, 1, 0}));
}

struct RefusalCase {
  const char* name;
  SoupReader reader;
  std::string text;
  std::string message;  // the one line printed
};

TEST(SurfaceReaders, RefuseBrokenFilesWithOneLineNamingWhere) {
  const std::vector<RefusalCase> cases = {
      {"binary stl cut short", readStl, binaryStl({{0, 0, 0, 1, 0, 0, 0, 1, 0}}, 2, "x"),
       "s: binary STL of 2 facets needs 184 bytes, the file has 134\n"},
      {"binary stl cut short whose header says solid", readStl,
       binaryStl({{0, 0, 0, 1, 0, 0, 0, 1, 0}}, 2, "solid x"),
       "s: it starts with \"solid\" but holds no ASCII STL facet, and its 134 bytes do not fit a "
       "binary STL of 2 triangles (184 bytes)\n"},
      {"stl facet of two vertices", readStl, "solid\nfacet\nvertex 0 0 0\nvertex 1 0 0\nendfacet\n",
       "s, line 5: a facet without three vertices\n"},
      {"stl ending in an empty open facet", readStl,
       "solid\nfacet\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendfacet\nfacet normal 0 0 1\n",
       "s: the last facet is cut short\n"},
      {"ply count beyond the file", readPly,
       "ply\nformat binary_little_endian 1.0\nelement vertex 100000\nproperty float "
       "x\nend_header\n\x01\x02",
       "s: 100000 vertex elements cannot be in the file's 88 bytes\n"},
      {"ply face list count that cannot be", readPly,
       "ply\nformat ascii 1.0\nelement face 1\nproperty list uchar int vertex_indices\n"
       "end_header\n-3 1 2 3\n",
       "s: face 1 has a list count that cannot be: cut short, negative, not a whole number, or "
       "more values than the file has left\n"},
      {"ply ascii index that reads as 0 but is no whole number", readPly,
       "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty "
       "float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 "
       "0\n0 1 0\n3 0 1 1e-400\n",
       "s: face 1 is cut short or has a corner that is not a point index (a whole number)\n"},
      {"obj corner that is no vertex", readObj, "v 0 0 0\nv 1 0 0\nf 1 2 3\n",
       "s, line 3: a face corner that is not a vertex\n"},
      {"obj corner that is not a whole number", readObj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 2.5\n",
       "s, line 4: a face corner \"2.5\" that is not written as whole numbers\n"},
      {"off corner index below 0", readOff, "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 -1\n",
       "s, line 6: face 1 has a corner \"-1\" that is not a point index (a whole number from 0)\n"},
      {"off counts beyond the file", readOff, "OFF\n1000000 1 0\n",
       "s, line 2: counts that cannot be in the file\n"},
      {"legacy vtk of another data set", readVtkPolyData,
       "# vtk DataFile Version 3.0\nt\nASCII\nDATASET UNSTRUCTURED_GRID\n",
       "s: not a POLYDATA data set (only surfaces of polygons are read)\n"},
      {"legacy vtk corner that is not a number", readVtkPolyData,
       "# vtk DataFile Version 3.0\nt\nASCII\nDATASET POLYDATA\nPOINTS 3 float\n0 0 0 1 0 0 0 1 "
       "0\nPOLYGONS 1 4\n3 0 1 nan\n",
       "s, line 8: a cell list is cut short or not numbers of its type\n"},
      {"legacy vtk OFFSETS that go back", readVtkPolyData,
       "# vtk DataFile Version 5.1\nt\nASCII\nDATASET POLYDATA\nPOINTS 3 float\n0 0 0 1 0 0 0 1 "
       "0\nPOLYGONS 3 3\nOFFSETS vtktypeint64\n0 3 2\nCONNECTIVITY vtktypeint64\n0 1 2\n",
       "s: OFFSETS that go back or are not indices\n"},
      {"legacy vtk points cut short", readVtkPolyData,
       "# vtk DataFile Version 3.0\nt\nBINARY\nDATASET POLYDATA\nPOINTS 2 float\nabcdefgh",
       "s, line 6: POINTS of 6 values cannot be in the file\n"},
      {"vtp compressed by lz4", readVtp,
       "<VTKFile type=\"PolyData\" compressor=\"vtkLZ4DataCompressor\"></VTKFile>",
       "s: data compressed by vtkLZ4DataCompressor cannot be read (zlib can)\n"},
      {"vtp block count beyond 64 bits", readVtp,
       "<VTKFile type=\"PolyData\" header_type=\"UInt64\" compressor=\"vtkZLibDataCompressor\">"
       "<PolyData><Piece NumberOfPoints=\"1\" NumberOfPolys=\"0\"><Points><DataArray "
       "type=\"Float32\" Name=\"Points\" NumberOfComponents=\"3\" format=\"binary\">"
       "//////////8AAAAAAAAAAAAAAAAAAAAA</DataArray></Points></Piece></PolyData></VTKFile>",
       "s: the DataArray \"Points\" holds fewer than its 3 values, or they cannot be decoded\n"},
      {"vtp that is not xml", readVtp, "<VTKFile type=\"PolyData\"><Piece",
       "s: not a VTK XML PolyData file (Error parsing start element tag at byte 30)\n"},
  };
  for (const RefusalCase& c : cases) {
    PolygonSoup soup;
    Status status = c.reader(c.text, "s", soup);
    EXPECT_EQ(status.code, kReadFailed) << c.name;
    EXPECT_EQ(status.message, c.message) << c.name;
  }
}

TEST(SurfaceReaders, ShareTheChecksOfCoordinatesCornersAndNormals) {
  PolygonSoup soup;
  soup.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  soup.corners = {0, 1, 2};
  soup.endPolygon();
  const std::vector<std::pair<std::function<void(PolygonSoup&)>, std::string>> cases = {
      {[](PolygonSoup& s) { s.points[1].y = NAN; },
       "s: point 2 has a coordinate that is not a number or beyond 1e150\n"},
      {[](PolygonSoup& s) { s.points[2].z = -2e150; },
       "s: point 3 has a coordinate that is not a number or beyond 1e150\n"},
      {[](PolygonSoup& s) { s.corners[2] = 3; },
       "s: polygon 1 names point 4, but there are 3 points\n"},
      {[](PolygonSoup& s) { s.corners[1] = -1; },
       "s: corner 2 of polygon 1 is not a point index (negative, not a whole number, or beyond "
       "2147483647)\n"},
      {[](PolygonSoup& s) { s.ends[0] = 2; }, "s: polygon 1 has 2 corners\n"},
      {[](PolygonSoup& s) { s.normals.resize(2); }, "s: 2 normals for 3 points\n"},
      {[](PolygonSoup& s) {
         s.normals = {{0, 0, 1}, {0, NAN, 1}, {0, 0, 1}};
       },
       "s: point 2 has a normal that is not finite (0 nan 1)\n"},
  };
  for (const auto& [spoil, message] : cases) {
    PolygonSoup spoilt = soup;
    spoil(spoilt);
    Status status = checkSoup(spoilt, "s");
    EXPECT_EQ(status.code, kReadFailed) << message;
    EXPECT_EQ(status.message, message);
  }
}

struct MeshCase {
  const char* name;
  MeshReader reader;
  std::string text;
  std::string nodes;  // as triples gives them
  std::vector<int> corners, nodeNumbers, numbers, parts;
  std::string others;     // kind:count, ...
  std::string partNames;  // number:name, ...
};

const char kAbaqus[] =
    "*Heading\n** c\n*Node, nset=all\n10, 0, 0, 0\n20, 1., 0., 0.\n30, 0, 1, 0\n40, 0, 0, 1\n"
    "50, 5, 5, 5\n*Element, type=s3r, elset=A\n7, 10, 30,\n 20\n*ELEMENT, TYPE=S4, ELSET=b\n"
    "8, 10, 20, 30, 40\n*element, type=C3D4\n9, 10, 20, 30, 40\n*Elset, elset=a\n7\n";

// A surface file taken as a mesh, through its row of the table.
Status readOffAsMesh(std::string_view data, const char* name, ShellMesh& mesh) {
  MemoryFile file{std::string(data)};
  return readMeshFile(file.get(), name, *inputFormatOf("m.off", InputRole::kMesh), mesh);
}

TEST(MeshReaders, KeepTheFilesNumbersPartsAndQuads) {
  const std::vector<MeshCase> cases = {
      {"abaqus: continuation, any case, a solid left out, a node of no shell",
       readAbaqus,
       kAbaqus,
       "0 0 0, 1 0 0, 0 1 0, 0 0 1",
       {1, 3, 2, 2, 1, 2, 3, 4},
       {10, 20, 30, 40},
       {7, 8},
       {1, 2},
       "C3D4:1",
       "1:A,2:B"},
      {"abaqus: a beam block's set takes no part number",
       readAbaqus,
       "*NODE\n1, 0, 0, 0\n2, 1, 0, 0\n3, 0, 1, 0\n*ELEMENT, TYPE=T3D2, ELSET=BEAMS\n5, 1, 2\n"
       "*ELEMENT, TYPE=S3, ELSET=Set-1\n6, 1, 2, 3\n",
       "0 0 0, 1 0 0, 0 1 0",
       {1, 2, 3, 3},
       {1, 2, 3},
       {6},
       {1},
       "T3D2:1",
       "1:SET-1"},
      {"ls-dyna fixed columns, thickness cards, a solid",
       readDyna,
       "*KEYWORD\n$ c\n*NODE\n      10             0.0             0.0             0.0\n"
       "      20             1.0             0.0             0.0\n      30             0.0"
       "             1.0             0.0\n*ELEMENT_SHELL_THICKNESS\n       7       2      10      "
       "30      20      20\n            1.00            1.00            1.00            1.00\n"
       "*ELEMENT_SOLID\n       9       3      10      20      30      30\n*END\n",
       "0 0 0, 1 0 0, 0 1 0",
       {1, 3, 2, 2},
       {10, 20, 30},
       {7},
       {2},
       "ELEMENT_SOLID:1",
       "2:PART_2"},
      {"ls-dyna free format, a zero fourth node",
       readDyna,
       "*NODE\n10,0,0,0\n20,1,0,0\n30,0,1,0\n40,0,0,1\n*ELEMENT_SHELL\n7,2,10,30,20,0\n"
       "8,3,10,20,30,40\n",
       "0 0 0, 1 0 0, 0 1 0, 0 0 1",
       {1, 3, 2, 2, 1, 2, 3, 4},
       {10, 20, 30, 40},
       {7, 8},
       {2, 3},
       "",
       "2:PART_2,3:PART_3"},
      {"gmsh 2.2: the first tag the part, named by its number; $PhysicalNames without its end",
       readGmsh,
       "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$PhysicalNames\n1\n2 5 \"cortex\"\n$Nodes\n3\n5 0 0 "
       "0\n6 1 0 0\n7 0 1 0\n$EndNodes\n"
       "$Elements\n3\n1 15 2 0 1 5\n2 2 2 4 1 5 6 7\n3 1 2 0 1 5 6\n$EndElements\n",
       "0 0 0, 1 0 0, 0 1 0",
       {1, 2, 3, 3},
       {5, 6, 7},
       {2},
       {4},
       "point:1,line:1",
       "4:PHYSICAL_4"},
      {"gmsh 4.1: the surface's physical group the part, named by its dimension and tag",
       readGmsh,
       "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$PhysicalNames\n2\n1 9 \"edge\"\n"
       "2 9 \"femur head\"\n$EndPhysicalNames\n$Entities\n0 0 1 0\n3 0 0 0 1 1 1 1 9 0\n"
       "$EndEntities\n$Nodes\n1 4 1 4\n2 3 0 4\n1\n2\n3\n4\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n"
       "$EndNodes\n$Elements\n1 1 11 11\n2 3 3 1\n11 1 2 3 4\n$EndElements\n",
       "0 0 0, 1 0 0, 1 1 0, 0 1 0",
       {1, 2, 3, 4},
       {1, 2, 3, 4},
       {11},
       {9},
       "",
       "9:femur head"},
      {"abaqus: node lines ending in a comma; two blocks of one set, whatever its case, one part",
       readAbaqus,
       "*NODE\n1, 0, 0, 0,\n2, 1, 0, 0,\n3, 0, 1, 0,\n4, 1, 1, 0,\n*ELEMENT, TYPE=S3, ELSET=Top\n"
       "1, 1, 2, 3\n*ELEMENT, TYPE=S4, ELSET=SIDE\n2, 1, 2, 4, 3\n*ELEMENT, TYPE=S3R, "
       "ELSET=top\n3, 2, 4, 3\n",
       "0 0 0, 1 0 0, 0 1 0, 1 1 0",
       {1, 2, 3, 3, 1, 2, 4, 3, 2, 4, 3, 3},
       {1, 2, 3, 4},
       {1, 2, 3},
       {1, 2, 1},
       "",
       "1:TOP,2:SIDE"},
      {"abaqus: every shell type",
       readAbaqus,
       "*NODE\n1, 0, 0, 0\n2, 1, 0, 0\n3, 1, 1, 0\n4, 0, 1, 0\n*ELEMENT, TYPE=S3\n1, 1, 2, 3\n"
       "*ELEMENT, TYPE=S3R\n2, 1, 2, 3\n*ELEMENT, TYPE=STRI3\n3, 1, 2, 3\n*ELEMENT, TYPE=M3D3\n"
       "4, 1, 2, 3\n*ELEMENT, TYPE=SFM3D3\n5, 1, 2, 3\n*ELEMENT, TYPE=R3D3\n6, 1, 2, 3\n"
       "*ELEMENT, TYPE=S4\n7, 1, 2, 3, 4\n*ELEMENT, TYPE=S4R\n8, 1, 2, 3, 4\n*ELEMENT, "
       "TYPE=M3D4\n9, 1, 2, 3, 4\n*ELEMENT, TYPE=SFM3D4\n10, 1, 2, 3, 4\n*ELEMENT, TYPE=R3D4\n"
       "11, 1, 2, 3, 4\n",
       "0 0 0, 1 0 0, 1 1 0, 0 1 0",
       {1, 2, 3, 3, 1, 2, 3, 3, 1, 2, 3, 3, 1, 2, 3, 3, 1, 2, 3, 3, 1, 2,
        3, 3, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4},
       {1, 2, 3, 4},
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
       {},
       "",
       ""},
      {"a surface file taken as a mesh: a quad stays one, a pentagon is a fan",
       readOffAsMesh,
       "OFF\n5 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n2 2 0\n4 0 1 2 3\n5 0 1 4 2 3\n",
       "0 0 0, 1 0 0, 1 1 0, 0 1 0, 2 2 0",
       {1, 2, 3, 4, 1, 2, 5, 5, 1, 5, 3, 3, 1, 3, 4, 4},
       {},
       {},
       {},
       "",
       ""},
  };
  for (const MeshCase& c : cases) {
    ShellMesh mesh;
    Status status = c.reader(c.text, "m", mesh);
    ASSERT_FALSE(status) << c.name << ": " << status.message;
    EXPECT_EQ(triples(mesh.nodes), c.nodes) << c.name;
    EXPECT_EQ(mesh.elements.corners, c.corners) << c.name;
    EXPECT_EQ(mesh.elements.nodeNumbers, c.nodeNumbers) << c.name;
    EXPECT_EQ(mesh.elements.numbers, c.numbers) << c.name;
    EXPECT_EQ(mesh.elements.parts, c.parts) << c.name;
    std::string others;
    for (const auto& [kind, count] : mesh.others) {
      others += (others.empty() ? "" : ",") + kind + ":" + std::to_string(count);
    }
    EXPECT_EQ(others, c.others) << c.name;
    std::string names;
    for (const auto& [part, name] : mesh.partNames) {
      names += (names.empty() ? "" : ",") + std::to_string(part) + ":" + name;
    }
    EXPECT_EQ(names, c.partNames) << c.name;
  }
}

TEST(MeshReaders, RefuseWhatDoesNotAddUpWithOneLine) {
  const std::string nodes = "*NODE\n1, 0, 0, 0\n2, 1, 0, 0\n3, 0, 1, 0\n";
  const std::vector<std::tuple<MeshReader, std::string, std::string>> cases = {
      {readAbaqus, nodes + "2, 5, 5, 5\n*ELEMENT, TYPE=S3\n1, 1, 2, 3\n",
       "m, line 5: node 2 is given twice\n"},
      {readAbaqus, nodes + "*ELEMENT, TYPE=S3\n1, 1, 2, 4\n",
       "m, line 6: element 1 names node 4, which is not a node\n"},
      {readAbaqus, nodes + "*ELEMENT, TYPE=S3\n1, 1, 2, 3\n1, 3, 2, 1\n",
       "m: element 1 is given twice\n"},
      {readAbaqus, nodes + "*ELEMENT, TYPE=C3D4\n1, 1, 2, 3, 1\n",
       "m: no shell or surface element (triangles or quadrilaterals), only 1 C3D4\n"},
      {readAbaqus, nodes + "*ELEMENT, TYPE=S4R\n1, 1, 2, 3\n",
       "m, line 6: a S4R element line that is not 5 numbers\n"},
      {readAbaqus, "*NODE\n0, 1, 1, 1\n",
       "m, line 2: node number 0 is not between 1 and 2147483647\n"},
      {readDyna, "*NODE\n1,1e200,0,0\n",
       "m, line 2: node 1 has a coordinate that is not a number or beyond 1e150\n"},
      {readDyna, "*NODE\n1,0,0,0\n*ELEMENT_SHELL\n1,1,a,1,1\n",
       "m, line 4: a shell card that is not EID, PID and nodes\n"},
      {readGmsh, "$MeshFormat\n4.1 1 8\n", "m, line 2: a binary .msh file: save it as ASCII\n"},
      {readGmsh,
       "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n1\n1 0 0 0\n$EndNodes\n$Elements\n1\n"
       "1 2.5 2 0 1 1 1 1\n",
       "m, line 10: an element line that is not whole numbers\n"},
      {readGmsh, "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Nodes\n1 2 1 2\n2 1 0 2\n1\n",
       "m, line 7: node tags cut short\n"},
  };
  for (const auto& [reader, text, message] : cases) {
    ShellMesh mesh;
    Status status = reader(text, "m", mesh);
    EXPECT_EQ(status.code, kReadFailed) << text;
    EXPECT_EQ(status.message, message) << text;
  }
}

TEST(InputFormats, FollowTheExtensionWhateverItsCase) {
  const std::vector<std::tuple<const char*, InputRole, const char*>> cases = {
      {"bone/mesh.hmascii", InputRole::kMesh, ".hmascii"},
      {"/dev/fd/63", InputRole::kMesh, ".hmascii"},
      {"/dev/fd/63", InputRole::kSurface, ".surf"},
      {"/dev/fd/63", InputRole::kNormals, ".vtk"},
      {"cort.SURF.gz", InputRole::kSurface, ".surf"},
      {"Cort.STL", InputRole::kSurface, ".stl"},
      {"cort.vtk", InputRole::kSurface, ".vtk"},
      {"norm.vtk.gz", InputRole::kNormals, ".vtk"},
      {"mesh.key", InputRole::kMesh, ".key"},
      {"mesh.Inp", InputRole::kMesh, ".inp"},
      {"mesh.msh", InputRole::kSurface, nullptr},
      {"cort.surf.bak", InputRole::kSurface, nullptr},
      {"normals.ply", InputRole::kNormals, nullptr},
      {"dir.v2/cort", InputRole::kSurface, ".surf"},
  };
  for (const auto& [name, role, extension] : cases) {
    const InputFormat* format = inputFormatOf(name, role);
    EXPECT_STREQ(format ? format->extension : nullptr, extension) << name;
  }
}

}  // namespace

}  // namespace verdask
