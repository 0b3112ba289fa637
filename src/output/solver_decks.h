// Complete decks of the shell layer, to include in a solver's model as they
// stand: nodes, elements facing outwards, a section that puts the shell's
// reference surface on its outer face, and the thickness at every node.
#pragma once

#include <cstdio>
#include <string>

#include "io/point_set.h"
#include "io/shell_elements.h"

namespace verdask {

struct DeckNames {
  std::string heading;  // the first line of the Abaqus deck's *HEADING
  std::string elset = "CORTEX";
  std::string material = "CORTEX";
  int firstElement = 1;  // -num
  int part = 1;          // -val
  int materialId = 1;    // -mid
};

/// An Abaqus (and CalculiX) deck: *NODE, *ELEMENT (S3 and S4R), *SHELL SECTION
/// with NODAL THICKNESS and OFFSET=0.5, *NODAL THICKNESS. Nonzero when an
/// element number is not positive or the stream could not be written.
int writeAbaqusDeck(FILE* deck, const PointSet& mesh, const ShellElements& elements,
                    const float* thickness, const DeckNames& names);

/// An LS-DYNA deck: *KEYWORD, *NODE, *PART, *SECTION_SHELL (element
/// formulation 2, shear factor 5/6, 5 integration points, NLOC 1), the
/// *ELEMENT_SHELL_THICKNESS cards, *END. Nonzero when the stream could not be written.
int writeDynaDeck(FILE* deck, const PointSet& mesh, const ShellElements& elements,
                  const float* thickness, const DeckNames& names, int threads);

/// Whether `name` may name an Abaqus set or material: a letter, then letters,
/// digits and underscores, at most 80 characters.
bool isDeckName(const std::string& name);

}  // namespace verdask
