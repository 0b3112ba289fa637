#include "output/shell_cards.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace verdask {

namespace {

const char kHeader[] = "*ELEMENT_SHELL_THICKNESS\n$\n$ ELEMENT CARDS FOR SHELL ELEMENTS\n$\n";

struct DeckResult {
  int status;
  std::string printed;
  std::string deck;
};

DeckResult writeDeck(const std::string& mesh, const std::vector<float>& thickness, int shellNum,
                     int shellVal) {
  MemoryFile in(mesh);
  char* data = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&data, &size);
  testing::internal::CaptureStdout();
  int status = writeShellCards(in.get(), out, thickness.data(), static_cast<int>(thickness.size()),
                               shellNum, shellVal);
  std::string printed = testing::internal::GetCapturedStdout();
  fclose(out);
  DeckResult result{status, printed, std::string(data, size)};
  free(data);
  return result;
}

const std::vector<float> kThickness = {2.5f, 20.0f, 1.3f, 0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f};

TEST(ShellCards, WritesFixedColumnCards) {
  DeckResult r = writeDeck("END NODES\n*tri3(1,1,5,9,7)\n*tri3(2,1,1,2,3)", kThickness, 1001, 1);
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
  DeckResult r = writeDeck("*tri3(1,1,1,2,3)\n", thickness, 1, 1);
  char card[256];
  snprintf(card, sizeof card, "%16.8f%16.8f%16.8f%16.8f\n", double{1e25f}, double{-2.5e-9f}, 7.0,
           7.0);
  EXPECT_EQ(r.deck, std::string(kHeader) + "       1       1       1       2       3       3\n" +
                        card + "*END\n");
}

TEST(ShellCards, ReportsEachOutcome) {
  struct Case {
    const char* name;
    std::string mesh;
    int shellNum;
    int status;
    std::string printed;
    std::string deck;
  };
  const std::string card =
      "      -5       7       1       2       3       3\n"
      "      2.50000000     20.00000000      1.29999995      1.29999995\n";
  const std::vector<Case> cases = {
      {"nothing after nodes", "", 1, -1, "Failed to read first line of .hmascii file\n", ""},
      {"no triangles", "END NODES\nEND DATA\n", 1, -2,
       "Reached end of .hmascii file before finding '*tri3()'\n", ""},
      {"tri3 without star", "tri3(1,1,1,2,3)\n*tri3(2,1,1,2,3)\n", 1, 0,
       "Found 0 triangles in .hmascii file\n", std::string(kHeader) + "*END\n"},
      {"third triangle unreadable", "*tri3(1,1,1,2,3)\n*tri3(2,1,1,2,3)\n*tri3(3,1,1,2)\n", -5, -4,
       "Couldn't read value of triangle #3 in .surf file\n",
       kHeader + card +
           "      -4       7       1       2       3       3\n"
           "      2.50000000     20.00000000      1.29999995      1.29999995\n"},
      {"last line a triangle", "*tri3(1,1,1,2,3)", -5, 0, "Found 1 triangles in .hmascii file\n",
       kHeader + card + "*END\n"},
      {"block ends at other line", "*tri3(1,1,1,2,3)\nEND\n*tri3(2,1,1,2,3)\n", -5, 0,
       "Found 1 triangles in .hmascii file\n", kHeader + card + "*END\n"},
      {"corner above vertex count", "*tri3(1,1,1,2,3)\n*tri3(2,1,1,10,3)\n", -5, -5,
       "Triangle #2 uses node 10, outside the mesh's 9 vertices\n", kHeader + card},
      {"corner zero", "*tri3(1,1,0,2,3)\n", -5, -5,
       "Triangle #1 uses node 0, outside the mesh's 9 vertices\n", kHeader},
      {"element number past 8 columns", "*tri3(1,1,1,2,3)\n*tri3(2,1,1,2,3)\n", 99999999, -7,
       "Triangle #2 needs the number 100000000, wider than the deck's 8 columns\n",
       kHeader + ("99999999" + card.substr(8))},
      {"element number of nine columns", "*tri3(1,1,1,2,3)\n", -10000000, -7,
       "Triangle #1 needs the number -10000000, wider than the deck's 8 columns\n", kHeader},
      {"quads among triangles", "*tri3(1,1,1,2,3)\n*quad4(2,1,4,5,6,7)\n", -5, 0,
       "Found 1 triangles and 1 quads in .hmascii file\n",
       kHeader + card +
           "      -4       7       4       5       6       7\n"
           "      0.00000000      1.00000000      2.00000000      3.00000000\n*END\n"},
      {"quad unreadable", "*quad4(1,1,4,5,6)\n", 1, -4,
       "Couldn't read value of quad #1 in .hmascii file\n", kHeader},
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
  MemoryFile in("*tri3(1,1,1,2,3)\n");
  FILE* full = fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  testing::internal::CaptureStdout();
  int status = writeShellCards(in.get(), full, kThickness.data(), 9, 1, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed to write the keyword file\n");
  EXPECT_EQ(status, -6);
  fclose(full);
}

}  // namespace

}  // namespace verdask
