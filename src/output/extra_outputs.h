// The outputs a run writes only when an option names them: the view, the
// nodal table and the complete decks. One table, which the command line, the
// run and the record all read: a new deck is a new writer and one row.
#pragma once

#include <cstdio>
#include <string>

#include "input/point_set.h"
#include "input/shell_elements.h"
#include "output/solver_decks.h"
#include "thickness/thickness_pass.h"

namespace verdask {

/// What the extra outputs are written from.
struct RunProducts {
  const PointSet* mesh;
  const ShellElements* elements;  // as the mesh has them
  const ShellElements* outward;   // every element facing outwards: for the complete decks
  int turned;                     // elements turned to face outwards
  const float* thickness;
  const PassRecord* record;
  const DeckNames* names;
  int threads;
};

struct ExtraOutput {
  const char* option;  // "-vtk"; the record names it without the dash
  const char* help;    // its --help lines
  bool completeDeck;   // faces its elements by the cortical normals
  bool perVertex;      // shows each vertex's angle and cortical vertex
  /// Writes the output, named `name`, printing its own lines; nonzero, after
  /// printing why, when it could not be written.
  int (*write)(FILE* file, const std::string& name, const RunProducts& products);
};

/// In the order they are written.
constexpr int kExtraOutputCount = 4;
extern const ExtraOutput kExtraOutputs[kExtraOutputCount];

}  // namespace verdask
