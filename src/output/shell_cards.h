// The keyword deck: one *ELEMENT_SHELL_THICKNESS element per mesh triangle.
#pragma once

#include <cstdio>
#include <vector>

#include "base/text_writer.h"
#include "input/input_data.h"
#include "input/shell_elements.h"

namespace verdask {

/// The range of a number in an element card's 8 columns.
constexpr long long kCardFieldLeast = -9999999;
constexpr long long kCardFieldMost = 99999999;

/// The deck of a mesh: its elements with their own numbers, where they have
/// them, and *END; refuses a number wider than a card's 8 columns, and tells
/// a failure of the element lines the reader kept for it. A .hmascii mesh's
/// cards before the failing element are written. Corners lie in
/// 1..vertexCount, the range of the thickness array; "Found N triangles in
/// `meshName` file" tells the count.
int writeMeshShellCards(FILE* keyword, const ShellMesh& mesh, const float* thickness,
                        int vertexCount, int shellNum, int shellVal, const char* meshName,
                        int threads);

/// The *ELEMENT_SHELL_THICKNESS keyword with its comment lines, then the two
/// cards of each element, numbered from shellNum, with the thickness
/// at each corner; formatted on up to `threads` threads and written in order.
void writeElementCards(TextWriter& deck, const ShellElements& elements, const float* thickness,
                       int vertexCount, int shellNum, int shellVal, int threads);

}  // namespace verdask
