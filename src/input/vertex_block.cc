#include "input/vertex_block.h"

#include <cmath>
#include <cstdio>

#include "base/report.h"
#include "input/number_scan.h"

namespace verdask {

namespace {

// A line that scans holds at least five characters ("0 0 0"), so a count
// beyond what the rest of the file can hold fails within the first that
// many lines, and needs no more room.
int vertexCapacity(int count, const LineReader& lines) {
  long long left = lines.bytesLeft();
  if (left < 0 || count <= left / 5 + 1) return count;
  return static_cast<int>(left / 5 + 1);
}

// Finite and small enough that no squared distance in the kd-trees overflows.
bool coordinatesInRange(const double xyz[3]) {
  for (int i = 0; i < 3; ++i) {
    if (!(std::fabs(xyz[i]) <= kMaxCoordinate)) return false;
  }
  return true;
}

// Scans the k-th line of the block into xyz; 0, or the block's status after its message.
int readVertexLine(LineView line, int k, double xyz[3], const VertexBlock& block) {
  long long number = k;
  bool scanned = block.form == VertexLine::kNumberedNode ? scanNode(line, &number, xyz) == 4
                                                         : scanSurfVertex(line, xyz) == 3;
  if (!scanned) {
    report("Couldn't read value of vertex #%d in .surf file\n", k);
    return block.scanStatus;
  }
  // Taken by position, a misnumbered node would put its thickness on another node.
  if (number != k) {
    report(
        "Node line #%d after 'BEGIN NODES' carries number %lld, expected %d: "
        "nodes must be numbered 1..N in file order\n",
        k, number, k);
    return block.numberStatus;
  }
  if (!coordinatesInRange(xyz)) {
    report("Coordinate not finite or too large in vertex #%d of %s file\n", k, block.fileKind);
    return block.rangeStatus;
  }
  return 0;
}

}  // namespace

int readVertexBlock(LineReader& lines, PointSet& points, int count, const VertexBlock& block) {
  int capacity = vertexCapacity(count, lines);
  if (!points.resize(capacity)) {
    report("Not enough memory for %d vertices of %s file\n", count, block.fileKind);
    return block.memoryStatus;
  }
  double* xyz = points.coords();
  LineView line;
  for (int k = 1; k <= count; ++k, xyz += 3) {
    // Past the capacity only if the file grew while it was read.
    if (k > capacity || !lines.next(&line)) {
      report("Reached end of %s file before finding all vertices\n", block.fileKind);
      return block.endStatus;
    }
    if (int status = readVertexLine(line, k, xyz, block)) return status;
  }
  return 0;
}

}  // namespace verdask
