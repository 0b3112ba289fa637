#include "output/solver_decks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "output/class_sections.h"

namespace verdask {

namespace {

// What a deck writer printed, then what it wrote.
std::string captured(const std::function<int(FILE*)>& write, int* status) {
  char* data = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&data, &size);
  testing::internal::CaptureStdout();
  *status = write(out);
  std::string printed = testing::internal::GetCapturedStdout();
  fclose(out);
  std::string text(data, size);
  free(data);
  return printed + text;
}

std::string writeAbaqus(const PointSet& mesh, const ShellElements& elements, const float* thickness,
                        const DeckNames& names, int* status) {
  return captured(
      [&](FILE* out) {
        Status written = writeAbaqusDeck(out, mesh, elements, thickness, names);
        printf("%s", written.message.c_str());
        return written.code;
      },
      status);
}

std::string writeDyna(const PointSet& mesh, const ShellElements& elements, const float* thickness,
                      const DeckNames& names) {
  int status;
  std::string text = captured(
      [&](FILE* out) { return writeDynaDeck(out, mesh, elements, thickness, names, 2).code; },
      &status);
  EXPECT_EQ(status, 0);
  return text;
}

void fill(PointSet& mesh, const std::vector<Coord3>& points) {
  ASSERT_TRUE(mesh.resize(static_cast<int>(points.size())));
  for (size_t i = 0; i < points.size(); ++i) {
    for (int k = 0; k < 3; ++k) mesh.points()[i][k] = (&points[i].x)[k];
  }
}

// Only the nodes of elements, S3 then S4R, numbers a data field can hold.
TEST(AbaqusDeck, WritesNodesElementsSectionAndNodalThickness) {
  PointSet mesh;
  fill(mesh,
       {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.1}, {9, 9, 9}, {-1.2246467991473533e-15, 2, 0}});
  const float thickness[6] = {1.5f, 2.0f, 2.5f, 3.0f, 99.0f, 1.3f};
  ShellElements elements;
  elements.addQuad(1, 2, 3, 4);
  elements.addTriangle(1, 3, 6);
  DeckNames names;
  names.comment = "verdask test\n*HEADING";
  names.parts = {{1, "SHELL", "BONE", 1}};
  names.firstElement = 10;
  int status;
  EXPECT_EQ(writeAbaqus(mesh, elements, thickness, names, &status),
            "** verdask test?*HEADING\n*NODE\n1, 0, 0, 0\n2, 1, 0, 0\n3, 1, 1, 0\n4, 0, 1, 0.1\n"
            "6, -1.2246467991474e-15, 2, 0\n"
            "*ELEMENT, TYPE=S3, ELSET=SHELL\n11, 1, 3, 6\n"
            "*ELEMENT, TYPE=S4R, ELSET=SHELL\n10, 1, 2, 3, 4\n"
            "*SHELL SECTION, ELSET=SHELL, MATERIAL=BONE, NODAL THICKNESS, OFFSET=0.5\n"
            "2.0599999904632567\n*NODAL THICKNESS\n1, 1.5\n2, 2\n3, 2.5\n4, 3\n6, 1.3\n");
  EXPECT_EQ(status, 0);
  names.firstElement = 0;
  EXPECT_EQ(writeAbaqus(mesh, elements, thickness, names, &status),
            "Abaqus element numbers must be positive: -num 0\n");
  EXPECT_NE(status, 0);
}

// A triangle and a quad of part 7, pulled apart by a quad of part 3.
struct TwoParts : testing::Test {
  PointSet mesh;
  const float thickness[5] = {1, 2, 3, 4, 5};
  ShellElements elements;
  DeckNames names;
  void SetUp() override {
    fill(mesh, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}});
    elements.addTriangle(1, 2, 5);
    elements.addQuad(1, 2, 3, 4);
    elements.addTriangle(2, 3, 5);
    elements.parts = {7, 3, 7};
    names.parts = {{7, "HEAD", "BONE_A", 11}, {3, "SHAFT", "BONE_B", 12}};
  }
};

// Each part its set and its section with its nodes' mean; the comment broken
// at spaces, or inside a word longer than a line.
TEST_F(TwoParts, AbaqusDeckHasASetAndASectionForEach) {
  names.comment = std::string(100, 'a') + " " + std::string(40, 'b') + " " + std::string(130, 'c');
  int status;
  EXPECT_EQ(writeAbaqus(mesh, elements, thickness, names, &status),
            "** " + std::string(100, 'a') + "\n** " + std::string(40, 'b') + "\n** " +
                std::string(129, 'c') +
                "\n** c\n*NODE\n1, 0, 0, 0\n2, 1, 0, 0\n3, 1, 1, 0\n4, 0, 1, 0\n5, 2, 0, 0\n"
                "*ELEMENT, TYPE=S3, ELSET=HEAD\n1, 1, 2, 5\n3, 2, 3, 5\n"
                "*ELEMENT, TYPE=S4R, ELSET=SHAFT\n2, 1, 2, 3, 4\n"
                "*SHELL SECTION, ELSET=HEAD, MATERIAL=BONE_A, NODAL THICKNESS, OFFSET=0.5\n2.75\n"
                "*SHELL SECTION, ELSET=SHAFT, MATERIAL=BONE_B, NODAL THICKNESS, OFFSET=0.5\n2.5\n"
                "*NODAL THICKNESS\n1, 1\n2, 2\n3, 3\n4, 4\n5, 5\n");
  EXPECT_EQ(status, 0);
}

const char kDynaNodes[] =
    "*KEYWORD\n*NODE\n$#   nid               x               y               z\n"
    "       1 0.000000000e+00 0.000000000e+00 0.000000000e+00\n"
    "       2 1.000000000e+00 0.000000000e+00 0.000000000e+00\n"
    "       3 1.000000000e+00 1.000000000e+00 0.000000000e+00\n"
    "       4 0.000000000e+00 1.000000000e+00 0.000000000e+00\n"
    "       5 2.000000000e+00 0.000000000e+00 0.000000000e+00\n";

const char kDynaSection[] =
    "\n*SECTION_SHELL\n$#   secid    elform      shrf       nip     propt\n";

const char kDynaThickness[] = "$#      t1        t2        t3        t4      nloc\n";

const char kDynaElements[] = "*ELEMENT_SHELL_THICKNESS\n$\n$ ELEMENT CARDS FOR SHELL ELEMENTS\n$\n";

// Each part its *PART and *SECTION_SHELL, numbered 1, 2, ...; the cards keep their parts.
TEST_F(TwoParts, DynaDeckHasAPartAndASectionForEach) {
  EXPECT_EQ(writeDyna(mesh, elements, thickness, names),
            std::string(kDynaNodes) + "*PART\n$# title\nHEAD\n$#     pid     secid       mid\n" +
                "         7         1        11" + kDynaSection +
                "         1         2  0.833333         5         1\n" + kDynaThickness +
                "      2.75      2.75      2.75      2.75         1\n" +
                "*PART\n$# title\nSHAFT\n$#     pid     secid       mid\n" +
                "         3         2        12" + kDynaSection +
                "         2         2  0.833333         5         1\n" + kDynaThickness +
                "       2.5       2.5       2.5       2.5         1\n" + kDynaElements +
                "       1       7       1       2       5       5\n"
                "      1.00000000      2.00000000      5.00000000      5.00000000\n"
                "       2       3       1       2       3       4\n"
                "      1.00000000      2.00000000      3.00000000      4.00000000\n"
                "       3       7       2       3       5       5\n"
                "      2.00000000      3.00000000      5.00000000      5.00000000\n*END\n");
}

// Without parts: one part, -val its id and -mid its material, elements from -num.
TEST_F(TwoParts, DynaDeckOfAMeshWithoutPartsHasOnePart) {
  elements.parts.clear();
  names.parts = {{5, "CORTEX", "CORTEX", 42}};
  names.firstElement = 20;
  EXPECT_EQ(writeDyna(mesh, elements, thickness, names),
            std::string(kDynaNodes) + "*PART\n$# title\nCORTEX\n$#     pid     secid       mid\n" +
                "         5         1        42" + kDynaSection +
                "         1         2  0.833333         5         1\n" + kDynaThickness +
                "         3         3         3         3         1\n" + kDynaElements +
                "      20       5       1       2       5       5\n"
                "      1.00000000      2.00000000      5.00000000      5.00000000\n"
                "      21       5       1       2       3       4\n"
                "      1.00000000      2.00000000      3.00000000      4.00000000\n"
                "      22       5       2       3       5       5\n"
                "      2.00000000      3.00000000      5.00000000      5.00000000\n*END\n");
}

// Two thickness classes within the two parts: a set or part and a section of
// the class's mean for each, the nodes without a thickness of their own.
TEST_F(TwoParts, DecksCutByThicknessClassHaveASectionForEachClassOfEachPart) {
  sectionByClass(thicknessClasses(elements, thickness, 2), elements, names);
  int status;
  EXPECT_EQ(writeAbaqus(mesh, elements, thickness, names, &status),
            "*NODE\n1, 0, 0, 0\n2, 1, 0, 0\n3, 1, 1, 0\n4, 0, 1, 0\n5, 2, 0, 0\n"
            "*ELEMENT, TYPE=S3, ELSET=HEAD_T1\n1, 1, 2, 5\n"
            "*ELEMENT, TYPE=S3, ELSET=HEAD_T2\n3, 2, 3, 5\n"
            "*ELEMENT, TYPE=S4R, ELSET=SHAFT_T1\n2, 1, 2, 3, 4\n"
            "*SHELL SECTION, ELSET=HEAD_T1, MATERIAL=BONE_A, OFFSET=0.5\n2.583333333333333\n"
            "*SHELL SECTION, ELSET=HEAD_T2, MATERIAL=BONE_A, OFFSET=0.5\n3.3333333333333335\n"
            "*SHELL SECTION, ELSET=SHAFT_T1, MATERIAL=BONE_B, OFFSET=0.5\n2.583333333333333\n");
  EXPECT_EQ(status, 0);
  std::string dyna = writeDyna(mesh, elements, thickness, names);
  EXPECT_EQ(dyna.substr(dyna.find("*PART")),
            std::string("*PART\n$# title\nHEAD_T1\n$#     pid     secid       mid\n") +
                "         1         1        11" + kDynaSection +
                "         1         2  0.833333         5         1\n" + kDynaThickness +
                "   2.58333   2.58333   2.58333   2.58333         1\n" +
                "*PART\n$# title\nHEAD_T2\n$#     pid     secid       mid\n" +
                "         2         2        11" + kDynaSection +
                "         2         2  0.833333         5         1\n" + kDynaThickness +
                "   3.33333   3.33333   3.33333   3.33333         1\n" +
                "*PART\n$# title\nSHAFT_T1\n$#     pid     secid       mid\n" +
                "         3         3        12" + kDynaSection +
                "         3         2  0.833333         5         1\n" + kDynaThickness +
                "   2.58333   2.58333   2.58333   2.58333         1\n" +
                "*ELEMENT_SHELL\n$#   eid     pid      n1      n2      n3      n4\n"
                "       1       1       1       2       5       5\n"
                "       2       3       1       2       3       4\n"
                "       3       2       2       3       5       5\n*END\n");
}

std::string partsText(const std::vector<DeckPart>& parts) {
  std::string text;
  for (const DeckPart& part : parts) {
    text += std::to_string(part.number) + " " + part.name + " " + part.material + " " +
            std::to_string(part.materialId) + "\n";
  }
  return text;
}

// Parts in order of appearance, the file's names made deck names and each
// given once, materials mapped by name in any case or by number.
TEST(DeckParts, NameThePartsAndMapTheirMaterials) {
  ShellElements elements;
  elements.parts = {7, 3, 7, 1, 9};
  const std::vector<std::pair<int, std::string>> own = {{3, "2nd shaft"}, {7, "HEAD"}, {9, "head"}};
  const DeckPart given{1, "CORTEX", "CORTEX", 1};
  std::vector<DeckPart> parts;
  EXPECT_EQ(deckPartsOf(elements, own, given, {{"head", "BONE", 0}, {"3", "", 20}}, &parts), 0);
  EXPECT_EQ(partsText(parts),
            "7 HEAD BONE 1\n3 PART_2nd_shaft CORTEX 20\n1 CORTEX CORTEX 1\n9 head_2 CORTEX 1\n");
  std::string printed;
  testing::internal::CaptureStdout();
  EXPECT_NE(deckPartsOf(elements, own, given, {{"NECK", "BONE", 0}}, &parts), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "-part-material names the part NECK, which the mesh does not have: its parts are "
            "HEAD (7), PART_2nd_shaft (3), CORTEX (1), head_2 (9)\n");
  elements.parts.clear();
  EXPECT_EQ(deckPartsOf(elements, own, {5, "SHELL", "BONE", 2}, {{"5", "", 8}}, &parts), 0);
  EXPECT_EQ(partsText(parts), "5 SHELL BONE 8\n");
}

TEST(AbaqusDeck, NamesAreLettersDigitsAndUnderscores) {
  for (const char* good : {"CORTEX", "bone_2", "A"}) EXPECT_TRUE(isDeckName(good)) << good;
  for (const char* bad : {"", "2BONE", "A,B", "A B", "_A", "A*"}) {
    EXPECT_FALSE(isDeckName(bad)) << bad;
  }
  EXPECT_FALSE(isDeckName(std::string(81, 'A')));
}

}  // namespace

}  // namespace verdask
