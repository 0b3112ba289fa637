// Complete decks of the shell layer, to include in a solver's model as they
// stand: nodes, elements facing outwards, a section that puts the shell's
// reference surface on its outer face, and the thickness at every node.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "base/status.h"
#include "input/point_set.h"
#include "input/shell_elements.h"

namespace verdask {

/// Why a complete deck was not written: numbers it cannot hold, or the stream.
constexpr int kDeckRefused = -1;
constexpr int kDeckNotWritten = -2;

/// One part of the decks: an Abaqus element set with its section, an LS-DYNA
/// *PART with its *SECTION_SHELL.
struct DeckPart {
  int number = 1;                   // the elements' part number, the LS-DYNA PID
  std::string name = "CORTEX";      // the element set, the part title
  std::string material = "CORTEX";  // the Abaqus section's material
  int materialId = 1;               // the LS-DYNA part's material id
  double thickness = 0;             // with sections: the section's, in place of the nodes'
};

struct DeckNames {
  std::string comment;          // the Abaqus deck's ** lines at the top
  std::vector<DeckPart> parts;  // in the order written: elements without parts are in the first
  int firstElement = 1;         // -num
  bool sections = false;        // each part's section has its own thickness, the nodes none
};

/// PART=MATERIAL of -part-material, or PART=ID of -part-mid: the part by its
/// name (any case) or its number.
struct PartMaterial {
  std::string part;
  std::string material;  // empty for an id
  int materialId = 0;
};

/// The decks' parts: one for each part number of the elements, in order of
/// first appearance (without parts, `given` alone), named by `ownNames` made
/// deck names or else `given.name`, each name once; every part with `given`'s
/// materials but for those `materials` name. Nonzero, after reporting, when a
/// mapping names a part the elements do not have.
int deckPartsOf(const ShellElements& elements,
                const std::vector<std::pair<int, std::string>>& ownNames, const DeckPart& given,
                const std::vector<PartMaterial>& materials, std::vector<DeckPart>* parts);

/// An Abaqus (and CalculiX) deck: "**" comment lines, *NODE, *ELEMENT (S3 and
/// S4R) in each part's set, a *SHELL SECTION with NODAL THICKNESS and
/// OFFSET=0.5 for each, *NODAL THICKNESS; with sections, each *SHELL SECTION
/// has its part's thickness and there is no nodal thickness. It has no *HEADING, so that it can be
/// included in any model. Fails (kDeckRefused, saying why) when an element number is not positive,
/// or (kDeckNotWritten) when the stream could not be written.
Status writeAbaqusDeck(FILE* deck, const PointSet& mesh, const ShellElements& elements,
                       const float* thickness, const DeckNames& names);

/// An LS-DYNA deck: *KEYWORD, *NODE, for each part a *PART and its
/// *SECTION_SHELL (element formulation 2, shear factor 5/6, 5 integration
/// points, NLOC 1), the *ELEMENT_SHELL_THICKNESS cards, *END; with sections,
/// each section has its part's thickness and the elements are *ELEMENT_SHELL cards. Fails
/// (kDeckNotWritten) when the stream could not be written.
Status writeDynaDeck(FILE* deck, const PointSet& mesh, const ShellElements& elements,
                     const float* thickness, const DeckNames& names, int threads);

/// Whether `name` may name an Abaqus set or material: a letter, then letters,
/// digits and underscores, at most 80 characters.
bool isDeckName(const std::string& name);

}  // namespace verdask
