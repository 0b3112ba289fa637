#include "thickness/orientation.h"

#include <algorithm>
#include <cmath>

#include "thickness/thickness.h"

namespace verdask {

namespace {

// The element's normal by its corner order: a quadrilateral's from its diagonals.
Coord3 elementNormal(const PointSet& mesh, const ShellElements& elements, int e) {
  const int* c = elements.of(e);
  const Coord3 &a = mesh.point(c[0] - 1), &b = mesh.point(c[1] - 1), &d = mesh.point(c[2] - 1);
  if (elements.isTriangle(e)) return crossProduct(difference(b, a), difference(d, a));
  return crossProduct(difference(d, a), difference(mesh.point(c[3] - 1), b));
}

}  // namespace

Orientation orientElements(const PointSet& mesh, const ShellElements& elements,
                           const std::vector<Coord3>& normals) {
  Orientation orientation;
  orientation.inward.resize(elements.count());
  for (int e = 0; e < elements.count(); ++e) {
    Coord3 n = elementNormal(mesh, elements, e);
    double facing = 0;
    for (int k = 0; k < (elements.isTriangle(e) ? 3 : 4); ++k) {
      Coord3 normal = normals[elements.of(e)[k] - 1];
      double length = vectorLength(normal);
      if (length > 0) facing += dotProduct(n, normal) / length;
    }
    if (facing < 0) {
      orientation.inward[e] = 1;
      ++orientation.inwardCount;
    } else if (!(facing > 0)) {
      orientation.undecided.push_back(e);
    }
  }
  return orientation;
}

ShellElements facingOutwards(const ShellElements& elements, const Orientation& orientation) {
  ShellElements outward = elements;
  for (int e = 0; e < elements.count(); ++e) {
    if (!orientation.inward[e]) continue;
    int* c = &outward.corners[4 * static_cast<size_t>(e)];
    if (elements.isTriangle(e)) {
      c[1] = elements.of(e)[2];
      c[2] = c[3] = elements.of(e)[1];
    } else {
      c[1] = elements.of(e)[3];
      c[3] = elements.of(e)[1];
    }
  }
  return outward;
}

std::vector<std::string> undecidedWarnings(const Orientation& orientation,
                                           const ShellElements& elements, int firstElement) {
  constexpr size_t kNamed = 5;
  const std::vector<int>& undecided = orientation.undecided;
  std::vector<std::string> warnings;
  for (size_t k = 0; k < std::min(undecided.size(), kNamed); ++k) {
    warnings.push_back("element " +
                       std::to_string(elements.elementNumber(undecided[k], firstElement)) +
                       " cannot be oriented (no area, or cortical normals of zero length): "
                       "written as given");
  }
  if (undecided.size() > kNamed) {
    warnings.push_back(std::to_string(undecided.size() - kNamed) +
                       " more elements cannot be oriented: written as given");
  }
  return warnings;
}

}  // namespace verdask
