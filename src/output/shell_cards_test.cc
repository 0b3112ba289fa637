#include "output/shell_cards.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace verdask {

namespace {

const char kHeader[] = "*ELEMENT_SHELL_THICKNESS\n$\n$ ELEMENT CARDS FOR SHELL ELEMENTS\n$\n";

struct DeckResult {
  int status;
  std::string printed;
  std::string deck;
};

// A .hmascii mesh of these triangles, as its reader gives it.
ShellMesh linesMesh(const std::vector<std::vector<int>>& elements,
                    const std::string& failure = "") {
  ShellMesh mesh;
  for (const std::vector<int>& c : elements) {
    if (c.size() == 4) {
      mesh.elements.addQuad(c[0], c[1], c[2], c[3]);
    } else {
      mesh.elements.addTriangle(c[0], c[1], c[2]);
    }
  }
  mesh.cardsAsRead = true;
  if (!failure.empty()) mesh.elementFailure = {-1, failure};
  return mesh;
}

DeckResult writeDeck(const ShellMesh& mesh, const std::vector<float>& thickness, int shellNum,
                     int shellVal, FILE* out = nullptr) {
  char* data = nullptr;
  size_t size = 0;
  FILE* memory = out ? nullptr : open_memstream(&data, &size);
  testing::internal::CaptureStdout();
  int status = writeMeshShellCards(out ? out : memory, mesh, thickness.data(),
                                   static_cast<int>(thickness.size()), shellNum, shellVal,
                                   mesh.cardsAsRead ? ".hmascii" : "m.inp", 1);
  std::string printed = testing::internal::GetCapturedStdout();
  if (memory) fclose(memory);
  DeckResult result{status, printed, std::string(data ? data : "", size)};
  free(data);
  return result;
}

const std::vector<float> kThickness = {2.5f, 20.0f, 1.3f, 0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f};

TEST(ShellCards, WritesFixedColumnCards) {
  DeckResult r = writeDeck(linesMesh({{5, 9, 7}, {1, 2, 3}}), kThickness, 1001, 1);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.printed, "Found 2 triangles in .hmascii file\n");
  EXPECT_EQ(r.deck, std::string(kHeader) +
                        "    1001       1       5       9       7       7\n"
                        "      1.00000000      5.00000000      3.00000000      3.00000000\n"
                        "    1002       1       1       2       3       3\n"
                        "      2.50000000     20.00000000      1.29999995      1.29999995\n"
                        "*END\n");
}

TEST(ShellCards, WritesThicknessWiderThanItsFieldInFull) {
  const std::vector<float> thickness = {1e25f, -2.5e-9f, 7.0f};
  DeckResult r = writeDeck(linesMesh({{1, 2, 3}}), thickness, 1, 1);
  char card[256];
  snprintf(card, sizeof card, "%16.8f%16.8f%16.8f%16.8f\n", double{1e25f}, double{-2.5e-9f}, 7.0,
           7.0);
  EXPECT_EQ(r.deck, std::string(kHeader) + "       1       1       1       2       3       3\n" +
                        card + "*END\n");
}

// A .hmascii deck goes out card by card up to its first failure, as it
// always has; a mesh read whole is refused before any card.
TEST(ShellCards, ReportsEachOutcome) {
  struct Case {
    const char* name;
    ShellMesh mesh;
    int shellNum;
    int status;
    std::string printed;
    std::string deck;
  };
  const std::string card =
      "      -5       7       1       2       3       3\n"
      "      2.50000000     20.00000000      1.29999995      1.29999995\n";
  ShellMesh own = linesMesh({{1, 2, 3}, {1, 2, 3}});
  own.cardsAsRead = false;
  own.elements.numbers = {100000000, 7};
  const std::vector<Case> cases = {
      {"element lines failed after two", linesMesh({{1, 2, 3}, {1, 2, 3}}, "Bad line\n"), -5, -1,
       "Bad line\n",
       kHeader + card +
           "      -4       7       1       2       3       3\n"
           "      2.50000000     20.00000000      1.29999995      1.29999995\n"},
      {"element number past 8 columns, before the failed line",
       linesMesh({{1, 2, 3}, {1, 2, 3}}, "Bad line\n"), 99999999, -1,
       "Triangle #2 needs the number 100000000, wider than the deck's 8 columns\n",
       kHeader + ("99999999" + card.substr(8))},
      {"element number of nine columns", linesMesh({{1, 2, 3}}), -10000000, -1,
       "Triangle #1 needs the number -10000000, wider than the deck's 8 columns\n", kHeader},
      {"own numbers refused before any card", own, 1, -1,
       "Element #1 needs the number 100000000, wider than the deck's 8 columns\n", ""},
      {"quads among triangles", linesMesh({{1, 2, 3}, {4, 5, 6, 7}}), -5, 0,
       "Found 1 triangles and 1 quads in .hmascii file\n",
       kHeader + card +
           "      -4       7       4       5       6       7\n"
           "      0.00000000      1.00000000      2.00000000      3.00000000\n*END\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeckResult r = writeDeck(c.mesh, kThickness, c.shellNum, 7);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.printed, c.printed);
    EXPECT_EQ(r.deck, c.deck);
  }
}

TEST(ShellCards, ReportsAFullDevice) {
  FILE* full = fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  DeckResult r = writeDeck(linesMesh({{1, 2, 3}}), kThickness, 1, 1, full);
  EXPECT_EQ(r.printed, "Failed to write the keyword file\n");
  EXPECT_EQ(r.status, -1);
  fclose(full);
}

}  // namespace

}  // namespace verdask
