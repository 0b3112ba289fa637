#include "input/readers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "input/formats.h"
#include "input/scan.h"

namespace verdask {

namespace {

struct ReaderCase {
  const char* name;
  std::string text;
  std::string message;  // the reader's failure; empty when it reads
};

void expectStatus(const Status& status, const std::string& message) {
  EXPECT_EQ(status.code, message.empty() ? 0 : kReadFailed);
  EXPECT_EQ(status.message, message);
}

const std::string kTriangles = "*tri3(1,1,1,2,3)\n*tri3(2,1,2,3,1)\n";
const std::string kNodes =
    "BEGIN NODES\n*node(1,0.0,0.0,0.0)\n*node(2,1.0,0.0,0.0)\n*node(3,0.0,1.5e-3,-2)\n";

TEST(MeshReader, FailsWithOneLineForEachFault) {
  const std::vector<ReaderCase> cases = {
      {"empty", "", "Failed to read first line of .hmascii file\n"},
      {"no triangle", kNodes, "Reached end of .hmascii file before finding '*tri3()'\n"},
      {"bad quad", kNodes + "*quad4(1,1,1,2,3)\n", "Unable to read quad values in .hmascii file\n"},
      {"bad triangle", kNodes + "*tri3(1,1,2)\n", "Unable to read tri values in .hmascii file\n"},
      {"blank before keyword", kNodes + " *tri3(1,1,1,2,3)\n",
       "Unable to read tri values in .hmascii file\n"},
      {"blank before separator", kNodes + "*tri3(1,1 ,1,2,3)\n",
       "Unable to read tri values in .hmascii file\n"},
      {"corners not above 0", kNodes + "*tri3(1,1,0,-2,0)\n",
       "Invalid number of vertices found in .surf file\n"},
      {"no node block", kTriangles, "Reached end of .hmascii file before finding 'BEGIN NODES'\n"},
      {"short node block", "BEGIN NODES\n*node(1,0,0,0)\n*node(2,1,0,0)\nEND NODES\n" + kTriangles,
       "Couldn't read value of vertex #3 in .surf file\n"},
      {"node block ends the file", kTriangles + "BEGIN NODES\n*node(1,0,0,0)\n",
       "Reached end of .hmascii file before finding all vertices\n"},
      {"not a number", "BEGIN NODES\n*node(1,0,0,0)\n*node(2,1,x,0)\n*node(3,0,1,0)\n" + kTriangles,
       "Couldn't read value of vertex #2 in .surf file\n"},
      {"nan coordinate",
       "BEGIN NODES\n*node(1,0,0,0)\n*node(2,nan,0,0)\n*node(3,0,1,0)\n" + kTriangles,
       "Coordinate not finite or too large in vertex #2 of .hmascii file\n"},
      {"nodes out of order",
       "BEGIN NODES\n*node(1,0,0,0)\n*node(3,0,1,0)\n*node(2,1,0,0)\n" + kTriangles,
       "Node line #2 after 'BEGIN NODES' carries number 3, expected 2: nodes must be numbered "
       "1..N in file order\n"},
      {"huge coordinate",
       "BEGIN NODES\n*node(1,0,0,1e308)\n*node(2,0,0,0)\n*node(3,0,1,0)\n" + kTriangles,
       "Coordinate not finite or too large in vertex #1 of .hmascii file\n"},
      {"long line read as pieces: the second holds tri3 but is no triangle",
       kNodes + "*tri3(1,1,1,2,2)" + std::string(1023 - 16, ' ') + "tri3 junk\n",
       "Unable to read tri values in .hmascii file\n"},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    ShellMesh mesh;
    expectStatus(readHmascii(c.text, "m", mesh), c.message);
  }
}

// The x of each node read, node k at x = k.
std::vector<double> nodeXs(const ShellMesh& mesh) {
  std::vector<double> xs;
  for (const Coord3& p : mesh.nodes) xs.push_back(p.x);
  return xs;
}

TEST(MeshReader, CountsLargestCornerOfFirstBlockAndReadsThatManyNodes) {
  std::string nodes = "BEGIN NODES\n";
  for (int k = 1; k <= 12; ++k) {
    nodes += "*node(" + std::to_string(k) + "," + std::to_string(k) + ",0,0)\n";
  }
  ShellMesh mesh;
  ASSERT_FALSE(readHmascii(
      nodes + "END NODES\n*tri3(1,1,5,9,7)\n*tri3(2,1,2,3,4)\nother\n*tri3(3,1,11,12,10)\n", "m",
      mesh));
  EXPECT_EQ(nodeXs(mesh), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  // The elements start after the ninth node line: nodes 10 to 12 are no element.
  EXPECT_EQ(mesh.elements.corners, (std::vector<int>{5, 9, 7, 7, 2, 3, 4, 4}));
  EXPECT_TRUE(mesh.cardsAsRead);
  // Quadrilaterals belong to the block too: their corners count.
  ShellMesh mixed;
  ASSERT_FALSE(
      readHmascii(nodes + "*tri3(1,1,5,9,7)\n*quad4(2,1,1,2,10,3)\nother\n*quad4(3,1,11,12,1,2)\n",
                  "m", mixed));
  EXPECT_EQ(nodeXs(mixed), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST(MeshReader, RestartsTheNodeSearchAtTheStartAfterABlockEndingOnANodesLine) {
  ShellMesh mesh;
  ASSERT_FALSE(
      readHmascii("BEGIN NODES\n*node(1,1,0,0)\n*node(2,2,0,0)\n*tri3(1,1,1,2,2)\nBEGIN "
                  "NODES\n*node(1,9,9,9)\n",
                  "m", mesh));
  EXPECT_EQ(mesh.nodes[1].x, 2);
  EXPECT_EQ(mesh.elements.corners, (std::vector<int>{1, 2, 2, 2}));
}

// The element lines after the node block are the deck's: what is wrong with
// them is kept for the deck stage, with the elements read before.
TEST(MeshReader, KeepsTheElementLinesAfterTheNodesAndTheirFailure) {
  const std::string head =
      "*tri3(1,1,1,2,3)\nBEGIN NODES\n*node(1,0,0,0)\n*node(2,1,0,0)\n*node(3,0,1,2.5,10,11)\n";
  const struct {
    const char* name;
    std::string tail;
    std::vector<int> corners;
    std::string failure;
  } cases[] = {
      {"nothing after the nodes", "", {}, "Failed to read first line of .hmascii file\n"},
      {"no element line",
       "END NODES\nEND DATA\n",
       {},
       "Reached end of .hmascii file before finding '*tri3()'\n"},
      {"tri3 without the star starts no block", "tri3(1,1,1,2,3)\n*tri3(2,1,1,2,3)\n", {}, ""},
      {"third triangle unreadable",
       "*tri3(1,1,3,2,1)\n*quad4(2,1,1,2,3,1)\n*tri3(3,1,1,2)\n",
       {3, 2, 1, 1, 1, 2, 3, 1},
       "Couldn't read value of triangle #3 in .surf file\n"},
      {"quad unreadable",
       "*quad4(1,1,1,2,3)\n",
       {},
       "Couldn't read value of quad #1 in .hmascii file\n"},
      {"last line a triangle", "*tri3(1,1,2,3,1)", {2, 3, 1, 1}, ""},
      {"block ends at another line", "*tri3(1,1,1,2,3)\nEND\n*tri3(2,1,1,2,3)\n", {1, 2, 3, 3}, ""},
      {"corner above the node block",
       "*tri3(1,1,1,2,3)\n*tri3(2,1,1,4,3)\n",
       {1, 2, 3, 3},
       "Triangle #2 uses node 4, outside the mesh's 3 vertices\n"},
      {"corner zero",
       "*tri3(1,1,0,2,3)\n",
       {},
       "Triangle #1 uses node 0, outside the mesh's 3 vertices\n"},
      {"crlf", "*tri3(1,1,1,2,3)\r\n*quad4(2,1,3,2,1,3)\r\n", {1, 2, 3, 3, 3, 2, 1, 3}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ShellMesh mesh;
    ASSERT_FALSE(readHmascii(head + c.tail, "m", mesh));
    EXPECT_EQ(mesh.nodes[2].z, 2.5);  // what follows a node's three numbers is passed over
    EXPECT_EQ(mesh.elements.corners, c.corners);
    expectStatus(mesh.elementFailure, c.failure);
  }
}

TEST(SurfReader, FailsWithOneLineForEachFault) {
  const std::vector<ReaderCase> cases = {
      {"empty", "", "Failed to read first line of .surf file\n"},
      {"lower case header", "vertices 3\n1 2 3\n",
       "Reached end of .surf file before finding 'Vertices'\n"},
      {"count not second word", "Number of Vertices 12\n",
       "Couldn't read number of vertices in .surf file\n"},
      {"zero count", "Vertices 0\n", "Invalid number of vertices found in .surf file\n"},
      {"negative count", "Vertices -4\n1 2 3\n",
       "Invalid number of vertices found in .surf file\n"},
      {"short file", "Vertices 3\n1 2 3\n4 5 6\n",
       "Reached end of .surf file before finding all vertices\n"},
      {"count beyond the file", "Vertices 2000000000\n1 2 3\n",
       "Reached end of .surf file before finding all vertices\n"},
      {"blank line", "Vertices 3\n1 2 3\n\n4 5 6\n",
       "Couldn't read value of vertex #2 in .surf file\n"},
      {"infinite coordinate", "Vertices 2\n1 2 3\n4 inf 6\n",
       "Coordinate not finite or too large in vertex #2 of .surf file\n"},
      {"binary file", "# HyperSurface 0.1 BINARY\n\nVertices 2\n\x3f\x80",
       "Binary .surf files are not read: save the surface file as ASCII\n"},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    SurfaceData surface;
    expectStatus(readSurf(c.text, "c.surf", TriangleUse::kNone, surface), c.message);
  }
}

TEST(SurfReader, ReadsVerticesInFileOrderAfterFirstHeader) {
  SurfaceData surface;
  ASSERT_FALSE(readSurf("solid bone\n#Vertices 3\n1.5e-3 -2 +4 7\n  4\t5 6\n7 8 9\n10 11 12\n",
                        "c.surf", TriangleUse::kNone, surface));
  ASSERT_EQ(surface.points.count(), 3);
  const double expected[3][3] = {{0.0015, -2, 4}, {4, 5, 6}, {7, 8, 9}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(surface.points.point(i).x, expected[i][0]);
    EXPECT_EQ(surface.points.point(i).y, expected[i][1]);
    EXPECT_EQ(surface.points.point(i).z, expected[i][2]);
  }
}

// Triangles to measure to fail the surface; wanted for computed normals
// alone, what is wrong with them is kept until the normals are computed.
TEST(SurfReader, ReadsEveryPatchsTrianglesAndTellsWhatIsWrong) {
  const std::string vertices = "Vertices 3\n0 0 0\n1 0 0\n0 1 0\n";
  const struct {
    const char* name;
    std::string text;
    std::string failure;  // to measure to
    std::string trouble;  // for the normals alone
  } cases[] = {
      {"two patches", "Patches 2\n{\nTriangles 1\n1 2 3\n}\n{\nTriangles 1\n3 2 1 9\n}\n", "", ""},
      {"blanks, CR LF, a sign and no last line end", "Patches 1\nTriangles 2\n 1\t2 3 \r\n+3 2 1",
       "", ""},
      {"no patches", "",
       "No triangles in c.surf: -surface needs its Patches and Triangles sections\n", ""},
      {"vertex out of range", "Patches 1\n{\nTriangles 2\n1 2 3\n1 2 4\n}\n",
       "Triangle #2 of c.surf uses vertex 4, outside 1..3\n",
       "Triangle #2 of c.surf uses vertex 4, outside 1..3\n"},
      {"vertex zero", "Patches 1\n{\nTriangles 1\n0 1 2\n}\n",
       "Triangle #1 of c.surf uses vertex 0, outside 1..3\n",
       "Triangle #1 of c.surf uses vertex 0, outside 1..3\n"},
      {"short line", "Patches 1\nTriangles 1\n1 2\n",
       "Triangle #1 of c.surf does not hold three vertex numbers\n",
       "Triangle #1 of c.surf does not hold three vertex numbers\n"},
      {"file ends early", "Patches 1\nTriangles 3\n1 2 3\n", "c.surf ends before triangle #2\n",
       "c.surf ends before triangle #2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SurfaceData measured, forNormals;
    expectStatus(readSurf(vertices + c.text, "c.surf", TriangleUse::kMeasure, measured), c.failure);
    ASSERT_FALSE(readSurf(vertices + c.text, "c.surf", TriangleUse::kNormals, forNormals));
    EXPECT_EQ(forNormals.triangleTrouble, c.trouble);
    std::vector<int> read =
        c.failure.empty() ? std::vector<int>{0, 1, 2, 2, 1, 0} : std::vector<int>();
    EXPECT_EQ(forNormals.corners, read);
    if (c.failure.empty()) {
      EXPECT_EQ(measured.corners, read);
    }
  }
}

TEST(SurfReader, RefusesTrianglesTooWideToMeasure) {
  for (auto [far, message] : {std::pair{"1e74", ""},
                              {"2e75",
                               "Triangle #1 of c.surf is wider than 1e+75: -surface "
                               "measures narrower triangles only\n"}}) {
    SurfaceData surface;
    ASSERT_FALSE(readSurf(std::string("Vertices 3\n0 0 0\n1 0 0\n") + far + " 1 0\n", "c.surf",
                          TriangleUse::kNone, surface));
    expectStatus(checkTriangleWidths(surface.points, {0, 1, 2}, "c.surf"), message);
  }
}

TEST(NormalsReader, FailsWithOneLineForEachFault) {
  const std::vector<ReaderCase> cases = {
      {"empty", "", "Failed to read first line of .vtk file\n"},
      {"no marker", "POINTS 2 float\n0 0 1 0 0 1\n",
       "Reached end of .vtk file before finding 'NORMALS'\n"},
      {"marker across pieces", std::string(36, 'x') + "NORMALS\n0 0 1 0 0 1\n",
       "Reached end of .vtk file before finding 'NORMALS'\n"},
      {"one normal short", "NORMALS Normals float\n0 0 1\n",
       "Reached end of .vtk file before finding all normals: 2/2\n"},
      {"last triple cut short", "NORMALS Normals float\n0 0 1 0 0\n",
       "Couldn't read value of normal #2 in .vtk file\n"},
      {"token not a number", "NORMALS Normals float\n0 0 1\n0 x 1\n",
       "Couldn't read value of normal #2 in .vtk file\n"},
      {"cell normals", "POINT_DATA 2\nSCALARS a float\nCELL_DATA 4\nNORMALS n float\n0 0 1 0 0 1\n",
       "NORMALS in .vtk file are cell data (CELL_DATA 4), not one per cortical vertex (2)\n"},
      {"normals of other points", "POINT_DATA 3\nNORMALS n float\n0 0 1 0 0 1 0 0 1\n",
       "NORMALS in .vtk file are given for 3 points (POINT_DATA), not for the 2 cortical "
       "vertices\n"},
      {"binary file", "# vtk DataFile Version 3.0\nbone\nBINARY\nNORMALS n float\n\x3f\x80",
       "Binary .vtk files are not read: save the normals file as ASCII\n"},
      {"normal not a number", "NORMALS n float\n0 0 1\nnan 0 1\n",
       "Value not finite in normal #2 of .vtk file: nan 0 1\n"},
      {"infinite normal", "NORMALS n float\n0 0 -inf\n0 0 1\n",
       "Value not finite in normal #1 of .vtk file: 0 0 -inf\n"},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Coord3> normals;
    expectStatus(parseNormals(c.text, 2, normals), c.message);
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
    std::vector<Coord3> normals;
    ASSERT_FALSE(parseNormals(text, 3, normals));
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
    NormalsScan scan;
    std::vector<Coord3> normals;
    ASSERT_FALSE(
        scanNormals("# vtk DataFile Version 3.0\nPOINTS of a bone\nASCII\nDATASET "
                    "POLYDATA\n" +
                        points + "POINT_DATA 2\nNORMALS n float\n0 0 1 0 0 1\n",
                    scan));
    ASSERT_FALSE(takeNormals(scan, 2, normals));
    EXPECT_EQ(compareNormalsPoints(scan, cortical), finding);
  }
  // A cortical file of floats holds its coordinates rounded to one.
  cortical.coords()[3] = static_cast<float>(vertices[3]);
  NormalsScan scan;
  ASSERT_FALSE(scanNormals(
      "POINTS 2 double\n0.1 2 -3\n13.495787225672196 0 0.001\nNORMALS n float\n0 0 1 0 0 1\n",
      scan));
  EXPECT_EQ(compareNormalsPoints(scan, cortical), "");
}

}  // namespace

}  // namespace verdask
