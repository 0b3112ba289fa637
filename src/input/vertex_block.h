// The block of vertex lines shared by the mesh and the surface files.
#pragma once

#include <vector>

#include "base/coord3.h"
#include "base/status.h"
#include "input/line_reader.h"
#include "input/point_set.h"

namespace verdask {

/// Mesh node lines carry their node number, which must be k on the k-th line;
/// surface vertex lines are three numbers.
enum class VertexLine { kNumberedNode, kSurfVertex };

/// How a file's vertex block reads: the form of its lines and the
/// file's kind in messages.
struct VertexBlock {
  VertexLine form;
  const char* fileKind;  // ".hmascii" or ".surf"
};

/// Reads `count` vertex lines into a surface's points or a mesh's nodes.
Status readVertexBlock(LineReader& lines, PointSet& points, int count, const VertexBlock& block);
Status readVertexBlock(LineReader& lines, std::vector<Coord3>& points, int count,
                       const VertexBlock& block);

}  // namespace verdask
