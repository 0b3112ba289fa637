#include "output/shell_cards.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

#include "base/parallel.h"
#include "base/progress.h"
#include "base/report.h"
#include "base/text_writer.h"

namespace verdask {

namespace {

// The status of a deck that failed, after it told why.
constexpr int kDeckFailed = -1;

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

// The number of leading elements whose numbers fit their card's 8 columns: a
// wider one would run into the next field. The first that does not is told.
int elementsThatFit(const ShellMesh& mesh, int shellNum, int shellVal) {
  const ShellElements& elements = mesh.elements;
  for (int e = 0; e < elements.count(); ++e) {
    long long numbers[6] = {elements.elementNumber(e, shellNum), elements.partOf(e, shellVal)};
    for (int k = 0; k < 4; ++k) numbers[2 + k] = elements.nodeNumber(elements.of(e)[k]);
    for (long long number : numbers) {
      if (number < kCardFieldLeast || number > kCardFieldMost) {
        report("%s #%d needs the number %lld, wider than the deck's 8 columns\n",
               mesh.cardsAsRead ? "Triangle" : "Element", e + 1, number);
        return e;
      }
    }
  }
  return elements.count();
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

// The keyword and the cards of the first `triangles` elements.
void writeCards(TextWriter& deck, const ShellElements& elements, int triangles,
                const float* thickness, int vertexCount, int shellNum, int shellVal, int threads) {
  ThicknessFields fields(thickness, vertexCount, threads);
  deck.put(kDeckHeader);
  constexpr int kBlockTriangles = 8192;
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

}  // namespace

void writeElementCards(TextWriter& deck, const ShellElements& elements, const float* thickness,
                       int vertexCount, int shellNum, int shellVal, int threads) {
  writeCards(deck, elements, elements.count(), thickness, vertexCount, shellNum, shellVal, threads);
}

int writeMeshShellCards(FILE* keyword, const ShellMesh& mesh, const float* thickness,
                        int vertexCount, int shellNum, int shellVal, const char* meshName,
                        int threads) {
  int fitting = elementsThatFit(mesh, shellNum, shellVal);
  bool failed = fitting < mesh.elements.count() || mesh.elementFailure;
  if (fitting == mesh.elements.count()) report("%s", mesh.elementFailure.message.c_str());
  if (failed && !mesh.cardsAsRead) return kDeckFailed;
  TextWriter deck(keyword);
  writeCards(deck, mesh.elements, fitting, thickness, vertexCount, shellNum, shellVal,
             std::max(1, threads));
  if (!failed) deck.put("*END\n");
  bool written = deck.finish();
  if (failed) return kDeckFailed;
  if (!written) {
    report("Failed to write the keyword file\n");
    return kDeckFailed;
  }
  reportElementCount(mesh.elements, meshName);
  return 0;
}

}  // namespace verdask
