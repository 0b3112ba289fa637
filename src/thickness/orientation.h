// Which way the mesh's elements face: their corner order against the cortical
// normals at their nodes. Solvers place a shell's offset by its facing.
#pragma once

#include <string>
#include <vector>

#include "input/point_set.h"
#include "input/shell_elements.h"

namespace verdask {

struct Orientation {
  std::vector<char> inward;  // per element: its corners run against the normals
  int inwardCount = 0;
  std::vector<int> undecided;  // elements (from 0) without area, or without normals
};

/// Compares each element's normal (from its corner order) with the cortical
/// normals at its nodes (`normals`, one per mesh vertex).
Orientation orientElements(const PointSet& mesh, const ShellElements& elements,
                           const std::vector<Coord3>& normals);

/// The warnings of the elements whose facing cannot be told, by their number
/// in the deck (from `firstElement`): the first few named, the rest counted.
std::vector<std::string> undecidedWarnings(const Orientation& orientation,
                                           const ShellElements& elements, int firstElement);

/// The elements with every inward one's corners reversed, so that all face outwards.
ShellElements facingOutwards(const ShellElements& elements, const Orientation& orientation);

}  // namespace verdask
