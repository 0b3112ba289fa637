// The keyword deck: one *ELEMENT_SHELL_THICKNESS element per mesh triangle.
#pragma once

#include <cstdio>
#include <vector>

namespace verdask {

/// The range of a number in an element card's 8 columns.
constexpr long long kCardFieldLeast = -9999999;
constexpr long long kCardFieldMost = 99999999;

/// Reads the mesh's triangle lines on from where the mesh reader left the
/// stream and writes an element card and a thickness card for each, formatted
/// on up to `threads` threads; corners must lie in 1..vertexCount, the range
/// of the thickness array. A complete deck's corners go to `corners`, if given.
int writeShellCards(FILE* mesh, FILE* keyword, const float* thickness, int vertexCount,
                    int shellNum, int shellVal, std::vector<int>* corners = nullptr,
                    int threads = 1);

}  // namespace verdask
