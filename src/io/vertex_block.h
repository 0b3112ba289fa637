// The block of vertex lines shared by the mesh and the surface files.
#pragma once

#include "io/line_reader.h"
#include "io/readers.h"

namespace verdask {

/// How a file's vertex block reads and reports: the scan of one line, the
/// file's kind in messages and the status of each failure.
struct VertexBlock {
  int (*scan)(LineView line, double xyz[3]);
  const char* fileKind;  // ".hmascii" or ".surf"
  int memoryStatus, endStatus, scanStatus, rangeStatus;
};

/// Reads `count` vertex lines into `points`; 0, or the block's status for
/// what failed, after printing its message.
int readVertexBlock(LineReader& lines, PointSet& points, int count, const VertexBlock& block);

}  // namespace verdask
