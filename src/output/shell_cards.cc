#include "output/shell_cards.h"

#include <initializer_list>

#include "io/line_reader.h"
#include "io/number_scan.h"
#include "io/text_writer.h"

namespace verdask {

namespace {

enum DeckStatus {
  kNothingAfterNodes = -1,
  kNoTriangles = -2,
  kBadTriangle = -4,
  kCornerOutOfRange = -5,
  kWriteFailed = -6,
  kNumberTooWide = -7,
};

const char kDeckHeader[] = "*ELEMENT_SHELL_THICKNESS\n$\n$ ELEMENT CARDS FOR SHELL ELEMENTS\n$\n";

// "%8d%8d%8d%8d%8d%8d\n" then "%16.8f%16.8f%16.8f%16.8f\n"; the fourth node repeats the third.
void writeElement(TextWriter& deck, long long element, int part, const int corners[3],
                  const float* thickness) {
  deck.putInt(element, 8);
  deck.putInt(part, 8);
  for (int corner : {corners[0], corners[1], corners[2], corners[2]}) deck.putInt(corner, 8);
  deck.put('\n');
  for (int corner : {corners[0], corners[1], corners[2], corners[2]}) {
    deck.putFixed(thickness[corner - 1], 8, 16);
  }
  deck.put('\n');
}

// Corners must index the thickness array, and every number must fit its card's
// 8 columns: a wider one would run into the next field.
int checkTriangle(const int corners[3], int vertexCount, long long element, int triangle) {
  for (int i = 0; i < 3; ++i) {
    if (corners[i] < 1 || corners[i] > vertexCount) {
      printf("Triangle #%d uses node %d, outside the mesh's %d vertices\n", triangle, corners[i],
             vertexCount);
      return kCornerOutOfRange;
    }
  }
  for (long long number :
       {element, static_cast<long long>(corners[0]), static_cast<long long>(corners[1]),
        static_cast<long long>(corners[2])}) {
    if (number < kCardFieldLeast || number > kCardFieldMost) {
      printf("Triangle #%d needs the number %lld, wider than the deck's 8 columns\n", triangle,
             number);
      return kNumberTooWide;
    }
  }
  return 0;
}

// Writes the cards of the "*tri3" block starting at `line`, counting them in `triangles`.
int writeTriangleBlock(LineReader& lines, LineView line, TextWriter& deck, const float* thickness,
                       int vertexCount, int shellNum, int shellVal, int& triangles,
                       std::vector<int>* written) {
  do {
    int corners[3];
    if (scanTriangle(line, corners) != 3) {
      printf("Couldn't read value of triangle #%d in .surf file\n", triangles + 1);
      return kBadTriangle;
    }
    long long element = static_cast<long long>(shellNum) + triangles;
    if (int status = checkTriangle(corners, vertexCount, element, triangles + 1)) return status;
    writeElement(deck, element, shellVal, corners, thickness);
    if (written) written->insert(written->end(), corners, corners + 3);
    ++triangles;
  } while (lines.next(&line) && line.contains("*tri3"));
  return 0;
}

}  // namespace

int writeShellCards(FILE* mesh, FILE* keyword, const float* thickness, int vertexCount,
                    int shellNum, int shellVal, std::vector<int>* corners) {
  LineReader lines(mesh, kLinePieceMax);
  LineView line;
  if (!lines.next(&line)) {
    printf("Failed to read first line of .hmascii file\n");
    return kNothingAfterNodes;
  }
  if (!skipToKeyword(lines, &line, "tri3")) {
    printf("Reached end of .hmascii file before finding '*tri3()'\n");
    return kNoTriangles;
  }
  TextWriter deck(keyword);
  deck.put(kDeckHeader);
  // A "tri3" line without the star starts no block.
  int triangles = 0;
  int status = line.contains("*tri3")
                   ? writeTriangleBlock(lines, line, deck, thickness, vertexCount, shellNum,
                                        shellVal, triangles, corners)
                   : 0;
  if (status == 0) deck.put("*END\n");
  bool written = deck.finish();
  if (status != 0) return status;
  if (!written) {
    printf("Failed to write the keyword file\n");
    return kWriteFailed;
  }
  printf("Found %d triangles in .hmascii file\n", triangles);
  return 0;
}

}  // namespace verdask
