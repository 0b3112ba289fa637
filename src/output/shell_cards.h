// The keyword deck: one *ELEMENT_SHELL_THICKNESS element per mesh triangle.
#pragma once

#include <cstdio>
#include <vector>

#include "input/shell_elements.h"
#include "base/text_writer.h"

namespace verdask {

/// The range of a number in an element card's 8 columns.
constexpr long long kCardFieldLeast = -9999999;
constexpr long long kCardFieldMost = 99999999;

/// Reads the mesh's triangle lines on from where the mesh reader left the
/// stream and writes an element card and a thickness card for each, formatted
/// on up to `threads` threads; corners must lie in 1..vertexCount, the range
/// of the thickness array. A complete deck's elements go to `elements`, if given.
int writeShellCards(FILE* mesh, FILE* keyword, const float* thickness, int vertexCount,
                    int shellNum, int shellVal, ShellElements* elements = nullptr, int threads = 1);

/// Reads the mesh's triangle lines as writeShellCards does, without writing
/// them: for the maps, which change the thickness before the deck is written.
/// 0, or the status of the first that fails (the elements before it read).
int readShellElements(FILE* mesh, int vertexCount, int shellNum, ShellElements* elements);

/// The deck of a mesh read whole: its elements with their own numbers, where
/// they have them, and *END; refuses a number wider than the card's columns.
int writeMeshShellCards(FILE* keyword, const ShellElements& elements, const float* thickness,
                        int vertexCount, int shellNum, int shellVal, const char* meshName,
                        int threads);

/// The *ELEMENT_SHELL_THICKNESS keyword with its comment lines, then the two
/// cards of each element, numbered from shellNum, with the thickness
/// at each corner; formatted on up to `threads` threads and written in order.
void writeElementCards(TextWriter& deck, const ShellElements& elements, const float* thickness,
                       int vertexCount, int shellNum, int shellVal, int threads);

}  // namespace verdask
