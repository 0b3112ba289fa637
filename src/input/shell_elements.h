// The mesh's shell elements, as the deck, the view and the complete decks take them.
#pragma once

#include <cstddef>
#include <vector>

namespace verdask {

/// Four corners (node positions from 1) per element, in the order read; a
/// triangle repeats its third corner as its fourth, as keyword decks write it.
/// A mesh file with its own numbers gives them too.
struct ShellElements {
  std::vector<int> corners;
  std::vector<int> nodeNumbers;  // the own number of the node at each position; empty: the position
  std::vector<int> numbers;      // each element's own number; empty: numbered from -num
  std::vector<int> parts;        // each element's own part; empty: -val

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
  int nodeNumber(int position) const {
    return nodeNumbers.empty() ? position : nodeNumbers[position - 1];
  }
  long long elementNumber(int element, int first) const {
    return numbers.empty() ? static_cast<long long>(first) + element : numbers[element];
  }
  int partOf(int element, int given) const { return parts.empty() ? given : parts[element]; }
};

}  // namespace verdask
