#include "output/solver_decks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace verdask {

namespace {

std::string writeAbaqus(const PointSet& mesh, const ShellElements& elements, const float* thickness,
                        const DeckNames& names, int* status) {
  char* data = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&data, &size);
  testing::internal::CaptureStdout();
  *status = writeAbaqusDeck(out, mesh, elements, thickness, names);
  std::string printed = testing::internal::GetCapturedStdout();
  fclose(out);
  std::string text(data, size);
  free(data);
  return printed + text;
}

// Only the nodes of elements, S3 then S4R, numbers a data field can hold.
TEST(AbaqusDeck, WritesNodesElementsSectionAndNodalThickness) {
  PointSet mesh;
  ASSERT_TRUE(mesh.resize(6));
  const double xyz[6][3] = {{0, 0, 0},   {1, 0, 0}, {1, 1, 0},
                            {0, 1, 0.1}, {9, 9, 9}, {-1.2246467991473533e-15, 2, 0}};
  for (int i = 0; i < 6; ++i) {
    for (int k = 0; k < 3; ++k) mesh.points()[i][k] = xyz[i][k];
  }
  const float thickness[6] = {1.5f, 2.0f, 2.5f, 3.0f, 99.0f, 1.3f};
  ShellElements elements;
  elements.addQuad(1, 2, 3, 4);
  elements.addTriangle(1, 3, 6);
  DeckNames names;
  names.heading = "verdask test";
  names.elset = "SHELL";
  names.material = "BONE";
  names.firstElement = 10;
  int status;
  EXPECT_EQ(writeAbaqus(mesh, elements, thickness, names, &status),
            "*HEADING\nverdask test\n*NODE\n1, 0, 0, 0\n2, 1, 0, 0\n3, 1, 1, 0\n4, 0, 1, 0.1\n"
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

TEST(AbaqusDeck, NamesAreLettersDigitsAndUnderscores) {
  for (const char* good : {"CORTEX", "bone_2", "A"}) EXPECT_TRUE(isDeckName(good)) << good;
  for (const char* bad : {"", "2BONE", "A,B", "A B", "_A", "A*"}) {
    EXPECT_FALSE(isDeckName(bad)) << bad;
  }
  EXPECT_FALSE(isDeckName(std::string(81, 'A')));
}

}  // namespace

}  // namespace verdask
