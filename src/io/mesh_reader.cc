#include <cstdio>

#include "io/line_reader.h"
#include "io/number_scan.h"
#include "io/readers.h"
#include "io/vertex_block.h"

namespace {

// Reads on from the first "tri3" line through the block of such lines; the
// vertex count is the largest corner, and corners of 0 or below never count.
int countTriangleBlockVertices(LineReader& lines, int& count) {
  LineView line;
  if (!lines.next(&line)) {
    printf("Failed to read first line of .hmascii file\n");
    return -2;
  }
  if (!skipToKeyword(lines, &line, "tri3")) {
    printf("Reached end of .hmascii file before finding '*tri3()'\n");
    return -3;
  }
  do {
    int corners[3];
    if (scanTriangle(line, corners) != 3) {
      printf("Unable to read tri values in .hmascii file\n");
      return -4;
    }
    for (int corner : corners) {
      if (corner > count) count = corner;
    }
  } while (lines.next(&line) && line.contains("tri3"));
  return 0;
}

// Reads the count node lines that follow the file's first "BEGIN NODES" line.
int readNodeBlock(LineReader& lines, PointSet& points, int count) {
  LineView line;
  if (!lines.rewind() || !lines.next(&line) || !skipToKeyword(lines, &line, "BEGIN NODES")) {
    printf("Reached end of .hmascii file before finding 'BEGIN NODES'\n");
    return -6;
  }
  return readVertexBlock(lines, points, count, {scanNode, ".hmascii", -9, -7, -8, -10});
}

}  // namespace

int parseMeshVertices(FILE* mesh, PointSet& points, int& count) {
  if (!mesh) {
    printf("Failed to open .hmascii file\n");
    return -1;
  }
  count = 0;
  LineReader lines(mesh, kLinePieceMax);
  if (int status = countTriangleBlockVertices(lines, count)) return status;
  if (count == 0) {
    printf("Invalid number of vertices found in .surf file\n");
    return -5;
  }
  if (int status = readNodeBlock(lines, points, count)) return status;
  // The keyword writer reads the triangle lines on from here.
  if (!lines.handBack()) {
    printf("Failed to seek in .hmascii file\n");
    return -11;
  }
  return 0;
}
