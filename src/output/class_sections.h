// The complete decks cut by thickness class: solvers and cohort tables that
// want a few sections rather than a thickness at every node.
#pragma once

#include "input/shell_elements.h"
#include "output/solver_decks.h"
#include "thickness/mesh_maps.h"

namespace verdask {

/// More thickness classes than this are no longer a few sections.
constexpr int kMostSections = 1000;

/// Puts each part's elements of each class into a part of their own, named
/// as the part with _T1, _T2, ... (the class, thinnest first) and numbered
/// 1, 2, ... in that order, with the part's materials and the class's mean
/// thickness; the elements' parts are set to them and the decks to sections.
void sectionByClass(const ThicknessClasses& classes, ShellElements& elements, DeckNames& names);

}  // namespace verdask
