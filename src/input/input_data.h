// What the readers of every surface and mesh format give: plain structs, the
// same whatever the file was.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/coord3.h"
#include "base/status.h"
#include "input/shell_elements.h"

namespace verdask {

/// A surface as a file gives it: points, polygons of any corner count, and
/// the normals at the points where the file carries them.
struct PolygonSoup {
  std::vector<Coord3> points;
  std::vector<Coord3> normals;  // one per point, or none
  std::vector<int> corners;     // from 0
  std::vector<int> ends;        // the running end of each polygon's corners

  int polygonCount() const { return static_cast<int>(ends.size()); }
  int cornersOf(int polygon) const { return ends[polygon] - (polygon ? ends[polygon - 1] : 0); }
  const int* firstCorner(int polygon) const {
    return corners.data() + (polygon ? ends[polygon - 1] : 0);
  }
  void endPolygon() { ends.push_back(static_cast<int>(corners.size())); }
};

/// A shell mesh with the numbers its file gives: its nodes are the nodes of
/// its shell elements, in file order.
struct ShellMesh {
  std::vector<Coord3> nodes;
  ShellElements elements;  // with the file's own numbers, where it has them; a part of -1
                           // where the file gives none, until the run puts -val there
  std::vector<std::pair<int, std::string>> partNames;     // each part's number and name as the
                                                          // file gives them, in order of appearance
  std::vector<std::pair<std::string, long long>> others;  // elements left out: kind, count
  std::vector<std::string> warnings;                      // what the reader did not follow
  // A .hmascii mesh's deck is written card by card as its element lines were
  // read, up to the first that fails; what failed among them is told then.
  bool cardsAsRead = false;
  Status elementFailure;
};

}  // namespace verdask
