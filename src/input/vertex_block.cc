#include "input/vertex_block.h"

#include <cmath>
#include <new>

#include "input/number_scan.h"
#include "input/readers.h"
#include "input/scan.h"

namespace verdask {

namespace {

// A line that scans holds at least five characters ("0 0 0"), so a count
// beyond what the rest of the file can hold fails within the first that
// many lines, and needs no more room.
int vertexCapacity(int count, const LineReader& lines) {
  size_t most = lines.bytesLeft() / 5 + 1;
  return static_cast<size_t>(count) <= most ? count : static_cast<int>(most);
}

// Finite and small enough that no squared distance in the kd-trees overflows.
bool coordinatesInRange(const double xyz[3]) {
  for (int i = 0; i < 3; ++i) {
    if (!(std::fabs(xyz[i]) <= kMaxCoordinate)) return false;
  }
  return true;
}

// Scans the k-th line of the block into xyz.
Status readVertexLine(LineView line, int k, double xyz[3], const VertexBlock& block) {
  long long number = k;
  bool scanned = block.form == VertexLine::kNumberedNode ? scanNode(line, &number, xyz) == 4
                                                         : scanSurfVertex(line, xyz) == 3;
  if (!scanned) return readFailure("Couldn't read value of vertex #%d in .surf file", k);
  // Taken by position, a misnumbered node would put its thickness on another node.
  if (number != k) {
    return readFailure(
        "Node line #%d after 'BEGIN NODES' carries number %lld, expected %d: "
        "nodes must be numbered 1..N in file order",
        k, number, k);
  }
  if (!coordinatesInRange(xyz)) {
    return readFailure("Coordinate not finite or too large in vertex #%d of %s file", k,
                       block.fileKind);
  }
  return {};
}

// Reads `count` lines into the `capacity` points at xyz.
Status readVertexLines(LineReader& lines, double* xyz, int count, int capacity,
                       const VertexBlock& block) {
  LineView line;
  for (int k = 1; k <= count; ++k, xyz += 3) {
    if (k > capacity || !lines.next(&line)) {
      return readFailure("Reached end of %s file before finding all vertices", block.fileKind);
    }
    if (Status status = readVertexLine(line, k, xyz, block)) return status;
  }
  return {};
}

Status outOfMemory(int count, const VertexBlock& block) {
  return readFailure("Not enough memory for %d vertices of %s file", count, block.fileKind);
}

}  // namespace

Status readVertexBlock(LineReader& lines, PointSet& points, int count, const VertexBlock& block) {
  int capacity = vertexCapacity(count, lines);
  if (!points.resize(capacity)) return outOfMemory(count, block);
  return readVertexLines(lines, points.coords(), count, capacity, block);
}

Status readVertexBlock(LineReader& lines, std::vector<Coord3>& points, int count,
                       const VertexBlock& block) {
  int capacity = vertexCapacity(count, lines);
  try {
    points.resize(capacity);
  } catch (const std::bad_alloc&) {
    return outOfMemory(count, block);
  }
  return readVertexLines(lines, &points.data()->x, count, capacity, block);
}

}  // namespace verdask
