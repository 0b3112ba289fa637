#include <cstdio>

#include "base/progress.h"
#include "base/report.h"
#include "input/line_reader.h"
#include "input/number_scan.h"
#include "input/readers.h"
#include "input/vertex_block.h"

namespace verdask {

namespace {

enum MeshStatus {
  kNoStream = -1,
  kEmptyFile = -2,
  kNoTriangles = -3,
  kBadTriangle = -4,
  kNoVertices = -5,
  kNoNodeBlock = -6,
  kEndBeforeAllNodes = -7,
  kBadNode = -8,
  kOutOfMemory = -9,
  kCoordinateOutOfRange = -10,
  kCannotSeek = -11,
  kMisnumberedNode = -12,
};

bool isElementLine(LineView line) { return line.contains("tri3") || line.contains("quad4"); }

// Reads on from the first "tri3" or "quad4" line through the block of such
// lines; the vertex count is the largest corner, and corners of 0 or below
// never count.
int countElementBlockVertices(LineReader& lines, int& count) {
  LineView line;
  if (!lines.next(&line)) {
    report("Failed to read first line of .hmascii file\n");
    return kEmptyFile;
  }
  if (!skipToAnyKeyword(lines, &line, {"tri3", "quad4"})) {
    report("Reached end of .hmascii file before finding '*tri3()'\n");
    return kNoTriangles;
  }
  do {
    int corners[4];
    bool quad;
    int read = scanElement(line, corners, &quad);
    if (read == 0) {
      report(quad ? "Unable to read quad values in .hmascii file\n"
                  : "Unable to read tri values in .hmascii file\n");
      return kBadTriangle;
    }
    for (int k = 0; k < read; ++k) {
      if (corners[k] > count) count = corners[k];
    }
  } while (lines.next(&line) && isElementLine(line));
  return 0;
}

// Reads the count node lines that follow the file's first "BEGIN NODES" line.
int readNodeBlock(LineReader& lines, PointSet& points, int count) {
  LineView line;
  if (!lines.rewind() || !lines.next(&line) || !skipToKeyword(lines, &line, "BEGIN NODES")) {
    report("Reached end of .hmascii file before finding 'BEGIN NODES'\n");
    return kNoNodeBlock;
  }
  return readVertexBlock(lines, points, count,
                         {VertexLine::kNumberedNode, ".hmascii", kOutOfMemory, kEndBeforeAllNodes,
                          kBadNode, kCoordinateOutOfRange, kMisnumberedNode});
}

}  // namespace

int parseMeshVertices(FILE* mesh, PointSet& points, int& count) {
  if (!mesh) {
    report("Failed to open .hmascii file\n");
    return kNoStream;
  }
  count = 0;
  LineReader lines(mesh, kLinePieceMax);
  if (int status = countElementBlockVertices(lines, count)) return status;
  if (count == 0) {
    report("Invalid number of vertices found in .surf file\n");
    return kNoVertices;
  }
  runProgress().meshVertices = count;
  if (int status = readNodeBlock(lines, points, count)) return status;
  // The keyword writer reads the triangle lines on from here.
  if (!lines.handBack()) {
    report("Failed to seek in .hmascii file\n");
    return kCannotSeek;
  }
  return 0;
}

}  // namespace verdask
