#include "input/readers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_util.h"

namespace verdask {

namespace {

struct ReaderCase {
  const char* name;
  std::string text;
  int status;
  std::string message;  // everything the reader prints
};

// Runs a reader over in-memory text and captures what it prints.
template <typename Reader>
std::string capture(Reader read, int* status) {
  testing::internal::CaptureStdout();
  *status = read();
  return testing::internal::GetCapturedStdout();
}

const std::string kTriangles = "*tri3(1,1,1,2,3)\n*tri3(2,1,2,3,1)\n";
const std::string kNodes =
    "BEGIN NODES\n*node(1,0.0,0.0,0.0)\n*node(2,1.0,0.0,0.0)\n*node(3,0.0,1.5e-3,-2)\n";

TEST(MeshReader, ReportsEachFailureWithItsStatus) {
  const std::vector<ReaderCase> cases = {
      {"empty", "", -2, "Failed to read first line of .hmascii file\n"},
      {"no triangle", kNodes, -3, "Reached end of .hmascii file before finding '*tri3()'\n"},
      {"bad quad", kNodes + "*quad4(1,1,1,2,3)\n", -4,
       "Unable to read quad values in .hmascii file\n"},
      {"bad triangle", kNodes + "*tri3(1,1,2)\n", -4,
       "Unable to read tri values in .hmascii file\n"},
      {"blank before keyword", kNodes + " *tri3(1,1,1,2,3)\n", -4,
       "Unable to read tri values in .hmascii file\n"},
      {"blank before separator", kNodes + "*tri3(1,1 ,1,2,3)\n", -4,
       "Unable to read tri values in .hmascii file\n"},
      {"corners not above 0", kNodes + "*tri3(1,1,0,-2,0)\n", -5,
       "Invalid number of vertices found in .surf file\n"},
      {"no node block", kTriangles, -6,
       "Reached end of .hmascii file before finding 'BEGIN NODES'\n"},
      {"short node block", "BEGIN NODES\n*node(1,0,0,0)\n*node(2,1,0,0)\nEND NODES\n" + kTriangles,
       -8, "Couldn't read value of vertex #3 in .surf file\n"},
      {"node block ends the file", kTriangles + "BEGIN NODES\n*node(1,0,0,0)\n", -7,
       "Reached end of .hmascii file before finding all vertices\n"},
      {"not a number", "BEGIN NODES\n*node(1,0,0,0)\n*node(2,1,x,0)\n*node(3,0,1,0)\n" + kTriangles,
       -8, "Couldn't read value of vertex #2 in .surf file\n"},
      {"nan coordinate",
       "BEGIN NODES\n*node(1,0,0,0)\n*node(2,nan,0,0)\n*node(3,0,1,0)\n" + kTriangles, -10,
       "Coordinate not finite or too large in vertex #2 of .hmascii file\n"},
      {"nodes out of order",
       "BEGIN NODES\n*node(1,0,0,0)\n*node(3,0,1,0)\n*node(2,1,0,0)\n" + kTriangles, -12,
       "Node line #2 after 'BEGIN NODES' carries number 3, expected 2: nodes must be numbered "
       "1..N in file order\n"},
      {"huge coordinate",
       "BEGIN NODES\n*node(1,0,0,1e308)\n*node(2,0,0,0)\n*node(3,0,1,0)\n" + kTriangles, -10,
       "Coordinate not finite or too large in vertex #1 of .hmascii file\n"},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFile file(c.text);
    PointSet points;
    int count = -1, status;
    EXPECT_EQ(capture([&] { return parseMeshVertices(file.get(), points, count); }, &status),
              c.message);
    EXPECT_EQ(status, c.status);
  }
  PointSet points;
  int count, status;
  EXPECT_EQ(capture([&] { return parseMeshVertices(nullptr, points, count); }, &status),
            "Failed to open .hmascii file\n");
  EXPECT_EQ(status, -1);
}

TEST(MeshReader, CountsLargestCornerOfFirstBlockAndReadsThatManyNodes) {
  std::string nodes = "BEGIN NODES\n";
  for (int k = 1; k <= 12; ++k) {
    nodes += "*node(" + std::to_string(k) + "," + std::to_string(k) + ",0,0)\n";
  }
  MemoryFile file(nodes +
                  "END NODES\n*tri3(1,1,5,9,7)\n*tri3(2,1,2,3,4)\nother\n*tri3(3,1,11,12,10)\n");
  PointSet points;
  int count;
  ASSERT_EQ(parseMeshVertices(file.get(), points, count), 0);
  EXPECT_EQ(count, 9);
  // Quadrilaterals belong to the block too: their corners count.
  MemoryFile mixed(nodes +
                   "*tri3(1,1,5,9,7)\n*quad4(2,1,1,2,10,3)\nother\n*quad4(3,1,11,12,1,2)\n");
  PointSet mixedPoints;
  ASSERT_EQ(parseMeshVertices(mixed.get(), mixedPoints, count), 0);
  EXPECT_EQ(count, 10);
  ASSERT_EQ(points.count(), 9);
  for (int k = 1; k <= 9; ++k) EXPECT_EQ(points.point(k - 1).x, k);
  // The stream stands just after the ninth node line.
  EXPECT_EQ(file.rest().substr(0, 13), "*node(10,10,0");
}

TEST(MeshReader, AcceptsTrianglesFirstAndLastLineTriangle) {
  MemoryFile file(
      "*tri3(1,1,1,2,3)\nBEGIN NODES\n*node(1,1,2,3)\n*node(2,4,5,6)\n"
      "*node(3,7,8,9,10,11)\n*tri3(2,1,3,4,5)");
  PointSet points;
  int count;
  ASSERT_EQ(parseMeshVertices(file.get(), points, count), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(points.point(2).z, 9);
  EXPECT_EQ(file.rest(), "*tri3(2,1,3,4,5)");
}

TEST(MeshReader, SearchRestartsAtFileStartAfterBlockEndingOnNodesLine) {
  MemoryFile file(
      "BEGIN NODES\n*node(1,1,0,0)\n*node(2,2,0,0)\n*tri3(1,1,1,2,2)\n"
      "BEGIN NODES\n*node(1,9,9,9)\n");
  PointSet points;
  int count;
  ASSERT_EQ(parseMeshVertices(file.get(), points, count), 0);
  EXPECT_EQ(points.point(1).x, 2);
}

TEST(MeshReader, ReadsLongLineAsSeveralPieces) {
  // The padding pushes "tri3" of the second piece past character 1023.
  std::string longLine = "*tri3(1,1,1,2,2)" + std::string(1023 - 16, ' ') + "tri3 junk\n";
  MemoryFile file(kNodes + longLine);
  PointSet points;
  int count, status;
  capture([&] { return parseMeshVertices(file.get(), points, count); }, &status);
  // The second piece holds "tri3" but does not scan as a triangle.
  EXPECT_EQ(status, -4);
}

TEST(SurfReader, ReportsEachFailureWithItsStatus) {
  const std::vector<ReaderCase> cases = {
      {"empty", "", -2, "Failed to read first line of .surf file\n"},
      {"lower case header", "vertices 3\n1 2 3\n", -3,
       "Reached end of .surf file before finding 'Vertices'\n"},
      {"count not second word", "Number of Vertices 12\n", -4,
       "Couldn't read number of vertices in .surf file\n"},
      {"zero count", "Vertices 0\n", -5, "Invalid number of vertices found in .surf file\n"},
      {"negative count", "Vertices -4\n1 2 3\n", -5,
       "Invalid number of vertices found in .surf file\n"},
      {"short file", "Vertices 3\n1 2 3\n4 5 6\n", -6,
       "Reached end of .surf file before finding all vertices\n"},
      {"blank line", "Vertices 3\n1 2 3\n\n4 5 6\n", -7,
       "Couldn't read value of vertex #2 in .surf file\n"},
      {"infinite coordinate", "Vertices 2\n1 2 3\n4 inf 6\n", -9,
       "Coordinate not finite or too large in vertex #2 of .surf file\n"},
      {"count beyond memory", "Vertices 2000000000\n1 2 3\n", -8,
       "Not enough memory for 2000000000 vertices of .surf file\n"},
      {"binary file", "# HyperSurface 0.1 BINARY\n\nVertices 2\n\x3f\x80", -10,
       "Binary .surf files are not read: save the surface file as ASCII\n"},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFile file(c.text);
    PointSet points;
    int count, status;
    EXPECT_EQ(capture([&] { return parseSurfVertices(file.get(), points, count); }, &status),
              c.message);
    EXPECT_EQ(status, c.status);
  }
}

TEST(SurfReader, ReadsVerticesInFileOrderAfterFirstHeader) {
  MemoryFile file("solid bone\n#Vertices 3\n1.5e-3 -2 +4 7\n  4\t5 6\n7 8 9\n10 11 12\n");
  PointSet points;
  int count;
  ASSERT_EQ(parseSurfVertices(file.get(), points, count), 0);
  ASSERT_EQ(count, 3);
  const double expected[3][3] = {{0.0015, -2, 4}, {4, 5, 6}, {7, 8, 9}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(points.point(i).x, expected[i][0]);
    EXPECT_EQ(points.point(i).y, expected[i][1]);
    EXPECT_EQ(points.point(i).z, expected[i][2]);
  }
}

TEST(SurfTriangles, ReadsEveryPatchAndReportsWhatIsWrong) {
  const std::string vertices = "Vertices 3\n0 0 0\n1 0 0\n0 1 0\n";
  const std::vector<ReaderCase> cases = {
      {"two patches", "Patches 2\n{\nTriangles 1\n1 2 3\n}\n{\nTriangles 1\n3 2 1 9\n}\n", 0, ""},
      {"no patches", "", -2,
       "No triangles in c.surf: -surface needs its Patches and Triangles sections\n"},
      {"vertex out of range", "Patches 1\n{\nTriangles 2\n1 2 3\n1 2 4\n}\n", -5,
       "Triangle #2 of c.surf uses vertex 4, outside 1..3\n"},
      {"vertex zero", "Patches 1\n{\nTriangles 1\n0 1 2\n}\n", -5,
       "Triangle #1 of c.surf uses vertex 0, outside 1..3\n"},
      {"short line", "Patches 1\nTriangles 1\n1 2\n", -4,
       "Triangle #1 of c.surf does not hold three vertex numbers\n"},
      {"file ends early", "Patches 1\nTriangles 3\n1 2 3\n", -3,
       "c.surf ends before triangle #2\n"},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFile file(vertices + c.text);
    PointSet points;
    int count, status;
    std::vector<int> corners;
    ASSERT_EQ(parseSurfVertices(file.get(), points, count), 0);
    EXPECT_EQ(
        capture([&] { return parseSurfTriangles(file.get(), "c.surf", count, corners); }, &status),
        c.message);
    EXPECT_EQ(status, c.status);
    if (c.status == 0) {
      EXPECT_EQ(corners, (std::vector<int>{0, 1, 2, 2, 1, 0}));
    }
  }
}

TEST(SurfTriangles, RefusesTrianglesTooWideToMeasure) {
  for (auto [far, status] : {std::pair{"1e74", 0}, {"2e75", -7}}) {
    MemoryFile file(std::string("Vertices 3\n0 0 0\n1 0 0\n") + far + " 1 0\n");
    PointSet points;
    int count, got;
    ASSERT_EQ(parseSurfVertices(file.get(), points, count), 0);
    std::string message = capture(
        [&] {
          return checkTriangleWidths(points, {0, 1, 2}, "c.surf");
        },
        &got);
    EXPECT_EQ(got, status) << far;
    EXPECT_EQ(message, status ? "Triangle #1 of c.surf is wider than 1e+75: -surface measures "
                                "narrower triangles only\n"
                              : "");
  }
}

TEST(NormalsReader, ReportsEachFailureWithItsStatus) {
  const std::vector<ReaderCase> cases = {
      {"empty", "", -2, "Failed to read first line of .vtk file\n"},
      {"no marker", "POINTS 2 float\n0 0 1 0 0 1\n", -3,
       "Reached end of .vtk file before finding 'NORMALS'\n"},
      {"marker across pieces", std::string(36, 'x') + "NORMALS\n0 0 1 0 0 1\n", -3,
       "Reached end of .vtk file before finding 'NORMALS'\n"},
      {"one normal short", "NORMALS Normals float\n0 0 1\n", -4,
       "Reached end of .vtk file before finding all normals: 2/2\n"},
      {"last triple cut short", "NORMALS Normals float\n0 0 1 0 0\n", -5,
       "Couldn't read value of normal #2 in .vtk file\n"},
      {"token not a number", "NORMALS Normals float\n0 0 1\n0 x 1\n", -5,
       "Couldn't read value of normal #2 in .vtk file\n"},
      {"cell normals", "POINT_DATA 2\nSCALARS a float\nCELL_DATA 4\nNORMALS n float\n0 0 1 0 0 1\n",
       -8, "NORMALS in .vtk file are cell data (CELL_DATA 4), not one per cortical vertex (2)\n"},
      {"normals of other points", "POINT_DATA 3\nNORMALS n float\n0 0 1 0 0 1 0 0 1\n", -8,
       "NORMALS in .vtk file are given for 3 points (POINT_DATA), not for the 2 cortical "
       "vertices\n"},
      {"binary file", "# vtk DataFile Version 3.0\nbone\nBINARY\nNORMALS n float\n\x3f\x80", -9,
       "Binary .vtk files are not read: save the normals file as ASCII\n"},
      {"normal not a number", "NORMALS n float\n0 0 1\nnan 0 1\n", -10,
       "Value not finite in normal #2 of .vtk file: nan 0 1\n"},
      {"infinite normal", "NORMALS n float\n0 0 -inf\n0 0 1\n", -10,
       "Value not finite in normal #1 of .vtk file: 0 0 -inf\n"},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFile file(c.text);
    std::vector<Coord3> normals;
    int status;
    EXPECT_EQ(capture([&] { return parseNormals(file.get(), 2, normals); }, &status), c.message);
    EXPECT_EQ(status, c.status);
  }
}

TEST(NormalsReader, ReadsTriplesWhateverTheLineLayout) {
  const std::vector<std::pair<const char*, std::string>> layouts = {
      {"nine to a line", "NORMALS Normals float\n1 0 0 0 1 0 0 0 1\n"},
      {"point data of these vertices", "POINT_DATA 3\nNORMALS Normals float\n1 0 0 0 1 0 0 0 1\n"},
      {"one to a line", "x\nNORMALS Normals float\n1 0 0\n0 1 0\n0 0 1\n9 9 9\n"},
      {"split across lines", "NORMALS\n1\n0 0 0\n1 0 0 0\n1"},
      {"rest of long marker line", "NORMALS" + std::string(32, ' ') + "1 0 0\n0 1 0 0 0 1\n"},
      {"crlf", "NORMALS Normals float\r\n1 0 0\r\n0 1 0\r\n0 0 1\r\n"},
      {"library forms", "NORMALS\n0x1p0 +0 -0 0 1e0 0 0 .0 1.\n"},
  };
  for (const auto& [name, text] : layouts) {
    SCOPED_TRACE(name);
    MemoryFile file(text);
    std::vector<Coord3> normals;
    ASSERT_EQ(parseNormals(file.get(), 3, normals), 0);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(normals[i].x, i == 0);
      EXPECT_EQ(normals[i].y, i == 1);
      EXPECT_EQ(normals[i].z, i == 2);
    }
  }
}

TEST(NormalsReader, ComparesItsPointsWithTheCorticalVerticesAsPrinted) {
  PointSet cortical;
  ASSERT_TRUE(cortical.resize(2));
  const double vertices[6] = {0.1, 2, -3, 13.495787225672196, 0, 1e-3};
  std::copy(vertices, vertices + 6, cortical.coords());
  const std::string later = ": the normals belong to another vertex order or another surface";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"POINTS 2 double\n0.10000000000000001 2 -3\n13.495787225672196 0 0.001\n", ""},
      {"POINTS 2 double\n0.1 2.0 -3.00 13.50 0 1e-3\n", ""},
      {"POINTS 2 float\n0.100000001 2 -3\n13.4957876 0 0.00100000005\n", ""},
      {"POINTS 2 double\n0.10000000149011612 2 -3\n13.495787225672196 0 0.001\n", ""},
      {"POINTS 2 double\n0.1 2 -3\n13.4957876 0 0.001\n",
       "the normals file's point 2 is (13.4957876, 0, 0.001) but cortical vertex 2 is "
       "(13.495787225672196, 0, 0.001)" +
           later},
      {"POINTS 2 double\n13.495787225672196 0 0.001\n0.1 2 -3\n",
       "the normals file's point 1 is (13.495787225672196, 0, 0.001) but cortical vertex 1 is "
       "(0.1, 2, -3)" +
           later},
      {"POINTS 2 double\n0.1 2 -3.06\n13.495787225672196 0 0.001\n",
       "the normals file's point 1 is (0.1, 2, -3.06) but cortical vertex 1 is (0.1, 2, -3)" +
           later},
      {"POINTS 3 double\n0.1 2 -3\n13.495787225672196 0 0.001\n0 0 0\n",
       "the normals file has 3 POINTS but the cortical surface has 2 vertices: the normals "
       "belong to another surface"},
      {"POINTS 2 double\n0.1 2 -3\nnan 0 0.001\n",
       "the normals file's point 2 is not three plain numbers: its POINTS cannot be compared "
       "with the cortical vertices"},
  };
  for (const auto& [points, finding] : cases) {
    SCOPED_TRACE(points);
    MemoryFile file("# vtk DataFile Version 3.0\nPOINTS of a bone\nASCII\nDATASET POLYDATA\n" +
                    points + "POINT_DATA 2\nNORMALS n float\n0 0 1 0 0 1\n");
    NormalsScan scan;
    std::vector<Coord3> normals;
    ASSERT_EQ(scanNormals(file.get(), scan), 0);
    ASSERT_EQ(takeNormals(scan, 2, normals), 0);
    EXPECT_EQ(compareNormalsPoints(scan, cortical), finding);
  }
  // A cortical file of floats holds its coordinates rounded to one.
  cortical.coords()[3] = static_cast<float>(vertices[3]);
  MemoryFile file(
      "POINTS 2 double\n0.1 2 -3\n13.495787225672196 0 0.001\nNORMALS n float\n0 0 1 0 0 1\n");
  NormalsScan scan;
  std::vector<Coord3> normals;
  ASSERT_EQ(scanNormals(file.get(), scan), 0);
  EXPECT_EQ(compareNormalsPoints(scan, cortical), "");
}

}  // namespace

}  // namespace verdask
