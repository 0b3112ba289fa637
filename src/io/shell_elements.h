// The mesh's shell elements, as the deck, the view and the complete decks take them.
#pragma once

#include <vector>

namespace verdask {

/// Four corners (node numbers from 1) per element, in the order read; a
/// triangle repeats its third corner as its fourth, as keyword decks write it.
struct ShellElements {
  std::vector<int> corners;

  int count() const { return static_cast<int>(corners.size() / 4); }
  const int* of(int element) const { return &corners[4 * static_cast<size_t>(element)]; }
  bool isTriangle(int element) const { return of(element)[3] == of(element)[2]; }
  void addTriangle(int a, int b, int c) { corners.insert(corners.end(), {a, b, c, c}); }
  void addQuad(int a, int b, int c, int d) { corners.insert(corners.end(), {a, b, c, d}); }
  int triangleCount() const {
    int triangles = 0;
    for (int e = 0; e < count(); ++e) triangles += isTriangle(e);
    return triangles;
  }
};

}  // namespace verdask
