#include <cstdio>

#include "base/progress.h"
#include "base/report.h"
#include "input/line_reader.h"
#include "input/number_scan.h"
#include "input/readers.h"
#include "input/vertex_block.h"

namespace verdask {

namespace {

enum SurfStatus {
  kNoStream = -1,
  kEmptyFile = -2,
  kNoHeader = -3,
  kBadCount = -4,
  kNoVertices = -5,
  kEndBeforeAllVertices = -6,
  kBadVertex = -7,
  kOutOfMemory = -8,
  kCoordinateOutOfRange = -9,
  kBinaryFile = -10,
  kNoNumberToCheck = 0,  // surface vertex lines carry no number
};

// Finds the first "Vertices" line and takes the integer after its first word.
int readSurfHeader(LineReader& lines, int& count) {
  LineView line;
  if (!lines.next(&line)) {
    report("Failed to read first line of .surf file\n");
    return kEmptyFile;
  }
  // A binary file's vertices follow its header line as raw bytes.
  if (line.size() > 0 && line.begin[0] == '#' && line.contains("BINARY")) {
    report("Binary .surf files are not read: save the surface file as ASCII\n");
    return kBinaryFile;
  }
  if (!skipToKeyword(lines, &line, "Vertices")) {
    report("Reached end of .surf file before finding 'Vertices'\n");
    return kNoHeader;
  }
  char buffer[kLinePieceMax + 1];
  line.copyTo(buffer);
  if (sscanf(buffer, "%*s %d", &count) != 1) {
    report("Couldn't read number of vertices in .surf file\n");
    return kBadCount;
  }
  // A negative count would reach the allocation and the trees.
  if (count <= 0) {
    report("Invalid number of vertices found in .surf file\n");
    return kNoVertices;
  }
  return 0;
}

}  // namespace

int parseSurfVertices(FILE* surf, PointSet& points, int& count) {
  if (!surf) {
    report("Failed to open .surf file\n");
    return kNoStream;
  }
  count = 0;
  LineReader lines(surf, kLinePieceMax);
  if (int status = readSurfHeader(lines, count)) return status;
  runProgress().surfaceVertices.fetch_add(count);
  int status =
      readVertexBlock(lines, points, count,
                      {VertexLine::kSurfVertex, ".surf", kOutOfMemory, kEndBeforeAllVertices,
                       kBadVertex, kCoordinateOutOfRange, kNoNumberToCheck});
  // The triangle reader, if asked for, reads on from the last vertex line.
  if (status == 0) lines.handBack();
  return status;
}

}  // namespace verdask
