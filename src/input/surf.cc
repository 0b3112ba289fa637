// HyperSurface ASCII (.surf): the vertex lines after the "Vertices" line,
// and when asked for, the triangles of each patch.
#include <algorithm>
#include <cstdio>
#include <new>

#include "base/progress.h"
#include "input/line_reader.h"
#include "input/number_scan.h"
#include "input/readers.h"
#include "input/scan.h"
#include "input/vertex_block.h"

namespace verdask {

namespace {

// Finds the first "Vertices" line and takes the integer after its first word.
Status readSurfHeader(LineReader& lines, int& count) {
  LineView line;
  if (!lines.next(&line)) return readFailure("Failed to read first line of .surf file");
  // A binary file's vertices follow its header line as raw bytes.
  if (line.size() > 0 && line.begin[0] == '#' && line.contains("BINARY")) {
    return readFailure("Binary .surf files are not read: save the surface file as ASCII");
  }
  if (!skipToKeyword(lines, &line, "Vertices")) {
    return readFailure("Reached end of .surf file before finding 'Vertices'");
  }
  char buffer[kLinePieceMax + 1];
  line.copyTo(buffer);
  if (sscanf(buffer, "%*s %d", &count) != 1) {
    return readFailure("Couldn't read number of vertices in .surf file");
  }
  // A negative count would reach the allocation and the trees.
  if (count <= 0) return readFailure("Invalid number of vertices found in .surf file");
  return {};
}

// The integer after the first word of the next line containing `keyword`;
// false when there is none.
bool readCountLine(LineReader& lines, const char* keyword, long long* count) {
  LineView line;
  if (!lines.next(&line) || !skipToKeyword(lines, &line, keyword)) return false;
  char buffer[kLinePieceMax + 1];
  line.copyTo(buffer);
  return sscanf(buffer, "%*s %lld", count) == 1;
}

// The next plain triangle line, "a b c" between blanks and a line end, its
// corners in 1..vertexCount: the corners from 0 and the byte after the line;
// nullptr for a line of any other kind, which the line-by-line reading tells of.
const char* plainTriangle(const char* p, const char* end, int vertexCount, int corners[3]) {
  const char* start = p;
  for (int k = 0; k < 3; ++k) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    const char* digits = p;
    long long value = 0;
    while (p < end && *p >= '0' && *p <= '9' && p - digits < 10) value = value * 10 + (*p++ - '0');
    if (p == digits || p - digits > 9 || value < 1 || value > vertexCount) return nullptr;
    corners[k] = static_cast<int>(value - 1);
  }
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
  if (p == end || *p != '\n' || static_cast<size_t>(p - start) >= kLinePieceMax) return nullptr;
  return p + 1;
}

// Up to `most` plain triangle lines straight from the bytes, as most files
// hold them all: the count read.
long long readPlainTriangles(LineReader& lines, long long most, int vertexCount,
                             std::vector<int>& corners) {
  // The progress is told every so many lines.
  constexpr long long kLinesTold = 1 << 14;
  long long read = 0;
  std::string_view rest = lines.rest();
  const char *p = rest.data(), *end = p + rest.size(), *told = p;
  int c[3];
  for (const char* next; read < most && (next = plainTriangle(p, end, vertexCount, c)); p = next) {
    corners.insert(corners.end(), c, c + 3);
    if (++read % kLinesTold == 0) {
      lines.consume(next - told);
      told = next;
    }
  }
  lines.consume(p - told);
  return read;
}

// One patch's `count` triangle lines, their corners appended from 0.
Status readPatch(LineReader& lines, const char* name, int vertexCount, long long count,
                 std::vector<int>& corners) {
  // A triangle line takes at least six characters ("1 2 3\n").
  long long most = static_cast<long long>(lines.bytesLeft() / 6 + 1);
  if (count > 0) corners.reserve(corners.size() + 3 * std::min(count, most));
  for (long long k = readPlainTriangles(lines, count, vertexCount, corners); k < count;
       k += 1 + readPlainTriangles(lines, count - k - 1, vertexCount, corners)) {
    long long number = static_cast<long long>(corners.size() / 3) + 1;
    LineView line;
    if (!lines.next(&line)) return readFailure("%s ends before triangle #%lld", name, number);
    long long c[3];
    if (scanSurfTriangle(line, c) != 3) {
      return readFailure("Triangle #%lld of %s does not hold three vertex numbers", number, name);
    }
    for (long long corner : c) {
      if (corner < 1 || corner > vertexCount) {
        return readFailure("Triangle #%lld of %s uses vertex %lld, outside 1..%d", number, name,
                           corner, vertexCount);
      }
    }
    for (long long corner : c) corners.push_back(static_cast<int>(corner - 1));
  }
  return {};
}

// The triangles on from the last vertex line: each patch's "Triangles m" line
// and m lines of three vertex numbers (from 1), as corners from 0. A file
// without a Patches line has none.
Status readTriangles(LineReader& lines, const char* name, int vertexCount,
                     std::vector<int>& corners) {
  long long patches = 0;
  readCountLine(lines, "Patches", &patches);
  try {
    for (long long p = 0; p < patches; ++p) {
      long long count;
      if (!readCountLine(lines, "Triangles", &count)) break;
      if (Status status = readPatch(lines, name, vertexCount, count, corners)) return status;
    }
  } catch (const std::bad_alloc&) {
    return readFailure("Not enough memory for the triangles of %s", name);
  }
  return {};
}

}  // namespace

Status readSurf(std::string_view data, const char* name, TriangleUse use, SurfaceData& surface) {
  LineReader lines(data, kLinePieceMax);
  int count = 0;
  if (Status status = readSurfHeader(lines, count)) return status;
  countSurfaceVertices(count);
  if (Status status =
          readVertexBlock(lines, surface.points, count, {VertexLine::kSurfVertex, ".surf"})) {
    return status;
  }
  if (use == TriangleUse::kNone) return {};
  Status triangles = readTriangles(lines, name, count, surface.corners);
  if (use == TriangleUse::kNormals) {
    // Wanted for the normals alone: what is wrong with them is told when normals are computed.
    if (triangles) surface.corners.clear();
    surface.triangleTrouble = std::move(triangles.message);
    return {};
  }
  if (!triangles && surface.corners.empty()) {
    return readFailure("No triangles in %s: -surface needs its Patches and Triangles sections",
                       name);
  }
  return triangles;
}

}  // namespace verdask
