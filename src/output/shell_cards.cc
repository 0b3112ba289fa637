#include "output/shell_cards.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

#include "input/line_reader.h"
#include "input/number_scan.h"
#include "base/parallel.h"
#include "base/progress.h"
#include "base/report.h"
#include "base/text_writer.h"

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

// Each node's "%16.8f" thickness field, formatted once: a node stands in about
// six triangles, and formatting is most of a card's cost.
class ThicknessFields {
 public:
  ThicknessFields(const float* thickness, int count, int threads)
      : thickness_(thickness), fields_(count) {
    runInRanges(threads, count, [this](int begin, int end) {
      for (int i = begin; i < end; ++i) format(i);
    });
  }
  void put(TextWriter& deck, int node) const {
    const Field& field = fields_[node - 1];
    if (field.length) {
      deck.put(field.text, field.length);
    } else {
      deck.putFixed(thickness_[node - 1], 8, 16);
    }
  }

 private:
  struct Field {
    char text[31];
    unsigned char length;  // 0: too wide to keep, formatted where it is written
  };
  void format(int i) {
    char digits[kNumberCapacity];
    size_t length = formatFixed(thickness_[i], 8, digits);
    Field& field = fields_[i];
    size_t padded = std::max<size_t>(length, 16);
    field.length = padded <= sizeof field.text ? static_cast<unsigned char>(padded) : 0;
    if (!field.length) return;
    memset(field.text, ' ', padded - length);
    memcpy(field.text + padded - length, digits, length);
  }

  const float* thickness_;
  std::vector<Field> fields_;
};

// "%8d%8d%8d%8d%8d%8d\n" then "%16.8f%16.8f%16.8f%16.8f\n"; the fourth node repeats the third.
void writeElement(TextWriter& deck, const ShellElements& elements, int e, int shellNum,
                  int shellVal, const ThicknessFields& thickness) {
  const int* corners = elements.of(e);
  deck.putInt(elements.elementNumber(e, shellNum), 8);
  deck.putInt(elements.partOf(e, shellVal), 8);
  for (int k = 0; k < 4; ++k) deck.putInt(elements.nodeNumber(corners[k]), 8);
  deck.put('\n');
  for (int k = 0; k < 4; ++k) thickness.put(deck, corners[k]);
  deck.put('\n');
}

// Corners must index the thickness array, and every number must fit its card's
// 8 columns: a wider one would run into the next field.
int checkElement(const int corners[], int cornerCount, int vertexCount, long long element,
                 int triangle) {
  for (int i = 0; i < cornerCount; ++i) {
    if (corners[i] < 1 || corners[i] > vertexCount) {
      report("Triangle #%d uses node %d, outside the mesh's %d vertices\n", triangle, corners[i],
             vertexCount);
      return kCornerOutOfRange;
    }
  }
  for (int i = -1; i < cornerCount; ++i) {
    long long number = i < 0 ? element : corners[i];
    if (number < kCardFieldLeast || number > kCardFieldMost) {
      report("Triangle #%d needs the number %lld, wider than the deck's 8 columns\n", triangle,
             number);
      return kNumberTooWide;
    }
  }
  return 0;
}

// The numbers of a mesh read whole, its own or from -num and -val, must fit
// their card's 8 columns.
int checkOwnNumbers(const ShellElements& elements, int e, int shellNum, int shellVal) {
  long long numbers[6] = {elements.elementNumber(e, shellNum), elements.partOf(e, shellVal)};
  for (int k = 0; k < 4; ++k) numbers[2 + k] = elements.nodeNumber(elements.of(e)[k]);
  for (long long number : numbers) {
    if (number < kCardFieldLeast || number > kCardFieldMost) {
      report("Element #%d needs the number %lld, wider than the deck's 8 columns\n", e + 1, number);
      return kNumberTooWide;
    }
  }
  return 0;
}

void reportElementCount(const ShellElements& elements, const char* fileName) {
  int triangles = elements.triangleCount();
  if (triangles == elements.count()) {
    report("Found %d triangles in %s file\n", triangles, fileName);
  } else {
    report("Found %d triangles and %d quads in %s file\n", triangles, elements.count() - triangles,
           fileName);
  }
}

bool isStarredElementLine(LineView line) {
  return line.contains("*tri3") || line.contains("*quad4");
}

// Reads the corners of the "*tri3" and "*quad4" block starting at `line`, up
// to the first element that fails; 0, or that failure's status.
int readElementBlock(LineReader& lines, LineView line, int vertexCount, int shellNum,
                     ShellElements& elements) {
  do {
    int number = elements.count() + 1;
    int c[4];
    bool quad;
    int read = scanElement(line, c, &quad);
    if (read == 0) {
      report(quad ? "Couldn't read value of quad #%d in .hmascii file\n"
                  : "Couldn't read value of triangle #%d in .surf file\n",
             number);
      return kBadTriangle;
    }
    long long element = static_cast<long long>(shellNum) + number - 1;
    if (int status = checkElement(c, read, vertexCount, element, number)) return status;
    if (quad) {
      elements.addQuad(c[0], c[1], c[2], c[3]);
    } else {
      elements.addTriangle(c[0], c[1], c[2]);
    }
  } while (lines.next(&line) && isStarredElementLine(line));
  return 0;
}

}  // namespace

void writeElementCards(TextWriter& deck, const ShellElements& elements, const float* thickness,
                       int vertexCount, int shellNum, int shellVal, int threads) {
  ThicknessFields fields(thickness, vertexCount, threads);
  deck.put(kDeckHeader);
  constexpr int kBlockTriangles = 8192;
  int triangles = elements.count();
  int blocks = (triangles + kBlockTriangles - 1) / kBlockTriangles;
  enterStage(Stage::kWritingDeck, triangles);
  std::vector<std::unique_ptr<TextWriter>> texts(blocks);
  produceInOrder(
      threads, blocks, 4 * threads,
      [&](int b) {
        texts[b] = std::make_unique<TextWriter>();
        for (int t = b * kBlockTriangles; t < std::min(triangles, (b + 1) * kBlockTriangles); ++t) {
          writeElement(*texts[b], elements, t, shellNum, shellVal, fields);
        }
        advanceProgress(std::min(triangles, (b + 1) * kBlockTriangles) - b * kBlockTriangles);
      },
      [&](int b) {
        deck.put(texts[b]->data(), texts[b]->size());
        texts[b].reset();
      });
}

int readShellElements(FILE* mesh, int vertexCount, int shellNum, ShellElements* elements) {
  LineReader lines(mesh, kLinePieceMax);
  LineView line;
  if (!lines.next(&line)) {
    report("Failed to read first line of .hmascii file\n");
    return kNothingAfterNodes;
  }
  if (!skipToAnyKeyword(lines, &line, {"tri3", "quad4"})) {
    report("Reached end of .hmascii file before finding '*tri3()'\n");
    return kNoTriangles;
  }
  // A "tri3" line without the star starts no block.
  return isStarredElementLine(line)
             ? readElementBlock(lines, line, vertexCount, shellNum, *elements)
             : 0;
}

int writeShellCards(FILE* mesh, FILE* keyword, const float* thickness, int vertexCount,
                    int shellNum, int shellVal, ShellElements* elements, int threads) {
  ShellElements read;
  int status = readShellElements(mesh, vertexCount, shellNum, &read);
  // Without an element line nothing is written; a bad one ends the cards before it.
  if (status == kNothingAfterNodes || status == kNoTriangles) return status;
  TextWriter deck(keyword);
  writeElementCards(deck, read, thickness, vertexCount, shellNum, shellVal, std::max(1, threads));
  if (status == 0) deck.put("*END\n");
  bool written = deck.finish();
  if (status != 0) return status;
  if (!written) {
    report("Failed to write the keyword file\n");
    return kWriteFailed;
  }
  reportElementCount(read, ".hmascii");
  if (elements) *elements = std::move(read);
  return 0;
}

int writeMeshShellCards(FILE* keyword, const ShellElements& elements, const float* thickness,
                        int vertexCount, int shellNum, int shellVal, const char* meshName,
                        int threads) {
  for (int e = 0; e < elements.count(); ++e) {
    if (int status = checkOwnNumbers(elements, e, shellNum, shellVal)) return status;
  }
  TextWriter deck(keyword);
  writeElementCards(deck, elements, thickness, vertexCount, shellNum, shellVal,
                    std::max(1, threads));
  deck.put("*END\n");
  if (!deck.finish()) {
    report("Failed to write the keyword file\n");
    return kWriteFailed;
  }
  reportElementCount(elements, meshName);
  return 0;
}

}  // namespace verdask
