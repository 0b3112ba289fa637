// HyperMesh ASCII (.hmascii): the node lines after "BEGIN NODES", as many as
// the first block of "tri3" and "quad4" lines needs, then the element lines
// after them, which the deck is written from.
#include <new>

#include "base/progress.h"
#include "input/line_reader.h"
#include "input/number_scan.h"
#include "input/readers.h"
#include "input/scan.h"
#include "input/vertex_block.h"

namespace verdask {

namespace {

bool isElementLine(LineView line) { return line.contains("tri3") || line.contains("quad4"); }

bool isStarredElementLine(LineView line) {
  return line.contains("*tri3") || line.contains("*quad4");
}

// Reads on from the first "tri3" or "quad4" line through the block of such
// lines; the vertex count is the largest corner, and corners of 0 or below
// never count.
Status countElementBlockVertices(LineReader& lines, int& count) {
  LineView line;
  if (!lines.next(&line)) return readFailure("Failed to read first line of .hmascii file");
  if (!skipToAnyKeyword(lines, &line, {"tri3", "quad4"})) {
    return readFailure("Reached end of .hmascii file before finding '*tri3()'");
  }
  do {
    int corners[4];
    bool quad;
    int read = scanElement(line, corners, &quad);
    if (read == 0) {
      return readFailure(quad ? "Unable to read quad values in .hmascii file"
                              : "Unable to read tri values in .hmascii file");
    }
    for (int k = 0; k < read; ++k) {
      if (corners[k] > count) count = corners[k];
    }
  } while (lines.next(&line) && isElementLine(line));
  return {};
}

// Reads the count node lines that follow the file's first "BEGIN NODES" line.
Status readNodeBlock(LineReader& lines, std::vector<Coord3>& nodes, int count) {
  LineView line;
  lines.rewind();
  if (!lines.next(&line) || !skipToKeyword(lines, &line, "BEGIN NODES")) {
    return readFailure("Reached end of .hmascii file before finding 'BEGIN NODES'");
  }
  return readVertexBlock(lines, nodes, count, {VertexLine::kNumberedNode, ".hmascii"});
}

// Reads the corners of the "*tri3" and "*quad4" block starting at `line`, up
// to the first element that fails; each corner must be one of the
// vertexCount nodes read.
Status readElementBlock(LineReader& lines, LineView line, int vertexCount,
                        ShellElements& elements) {
  do {
    int number = elements.count() + 1;
    int c[4];
    bool quad;
    int read = scanElement(line, c, &quad);
    if (read == 0) {
      return readFailure(quad ? "Couldn't read value of quad #%d in .hmascii file"
                              : "Couldn't read value of triangle #%d in .surf file",
                         number);
    }
    for (int k = 0; k < read; ++k) {
      if (c[k] < 1 || c[k] > vertexCount) {
        return readFailure("Triangle #%d uses node %d, outside the mesh's %d vertices", number,
                           c[k], vertexCount);
      }
    }
    if (quad) {
      elements.addQuad(c[0], c[1], c[2], c[3]);
    } else {
      elements.addTriangle(c[0], c[1], c[2]);
    }
  } while (lines.next(&line) && isStarredElementLine(line));
  return {};
}

// The element lines on from the last node line read: the block that starts at
// the first "tri3" or "quad4" line, when that line has the star.
Status readElementLines(LineReader& lines, int vertexCount, ShellElements& elements) {
  LineView line;
  if (!lines.next(&line)) return readFailure("Failed to read first line of .hmascii file");
  if (!skipToAnyKeyword(lines, &line, {"tri3", "quad4"})) {
    return readFailure("Reached end of .hmascii file before finding '*tri3()'");
  }
  if (!isStarredElementLine(line)) return {};
  try {
    return readElementBlock(lines, line, vertexCount, elements);
  } catch (const std::bad_alloc&) {
    return {kReadFailed, "Not enough memory\n"};
  }
}

}  // namespace

Status readHmascii(std::string_view data, const char*, ShellMesh& mesh) {
  LineReader lines(data, kLinePieceMax);
  int count = 0;
  if (Status status = countElementBlockVertices(lines, count)) return status;
  if (count == 0) return readFailure("Invalid number of vertices found in .surf file");
  countMeshVertices(count);
  if (Status status = readNodeBlock(lines, mesh.nodes, count)) return status;
  // What is wrong with the element lines has always been told as the deck is written.
  mesh.elementFailure = readElementLines(lines, count, mesh.elements);
  mesh.cardsAsRead = true;
  return {};
}

}  // namespace verdask
