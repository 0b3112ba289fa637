// The block of vertex lines shared by the mesh and the surface files.
#pragma once

#include "input/line_reader.h"
#include "input/readers.h"

namespace verdask {

/// Mesh node lines carry their node number, which must be k on the k-th line;
/// surface vertex lines are three numbers.
enum class VertexLine { kNumberedNode, kSurfVertex };

/// How a file's vertex block reads and reports: the form of its lines, the
/// file's kind in messages and the status of each failure.
struct VertexBlock {
  VertexLine form;
  const char* fileKind;  // ".hmascii" or ".surf"
  int memoryStatus, endStatus, scanStatus, rangeStatus, numberStatus;
};

/// Reads `count` vertex lines into `points`; 0, or the block's status for
/// what failed, after printing its message.
int readVertexBlock(LineReader& lines, PointSet& points, int count, const VertexBlock& block);

}  // namespace verdask
