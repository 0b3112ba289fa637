#include "thickness/thickness_pass.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "test_util.h"

namespace verdask {

namespace {

struct PassOutput {
  std::string table, answers;
  std::vector<float> thickness;
};

PassOutput runPass(const PointSet& mesh, const PointSet& cortical, const PointSet& trabecular,
                   const Coord3* normals, TrabecularQuery query) {
  char *tableData = nullptr, *answerData = nullptr;
  size_t tableSize = 0, answerSize = 0;
  FILE* table = open_memstream(&tableData, &tableSize);
  FILE* answers = open_memstream(&answerData, &answerSize);
  PassOutput out;
  out.thickness.resize(mesh.count());
  EXPECT_EQ(calculateValues(table, answers, mesh, cortical, trabecular, normals,
                            out.thickness.data(), -0.25, 3.0, 0.75, query),
            0);
  fclose(table);
  fclose(answers);
  out.table.assign(tableData, tableSize);
  out.answers.assign(answerData, answerSize);
  free(tableData);
  free(answerData);
  return out;
}

// The nearest-only query against the full 400-candidate list it replaces.
TEST(ThicknessPass, NearestOnlyQueryGivesTheFullListsResults) {
  ScratchDir dir;
  ASSERT_EQ(runProgram(MAKE_BONE_BINARY, {dir.path(), "2000", "6000", "9"}, dir.path()).exitCode,
            0);
  PointSet mesh, cortical, trabecular;
  int meshCount, corticalCount, trabecularCount;
  std::unique_ptr<Coord3[]> normals;
  FILE* files[4];
  const char* names[] = {"mesh.hmascii", "cort.surf", "trab.surf", "norm.vtk"};
  for (int i = 0; i < 4; ++i) files[i] = fopen(dir.file(names[i]).c_str(), "r");
  ASSERT_EQ(parseMeshVertices(files[0], mesh, meshCount), 0);
  ASSERT_EQ(parseSurfVertices(files[1], cortical, corticalCount), 0);
  ASSERT_EQ(parseSurfVertices(files[2], trabecular, trabecularCount), 0);
  ASSERT_EQ(parseNormals(files[3], corticalCount, normals), 0);
  for (FILE* file : files) fclose(file);

  PassOutput fast =
      runPass(mesh, cortical, trabecular, normals.get(), TrabecularQuery::kNearestOnly);
  PassOutput full =
      runPass(mesh, cortical, trabecular, normals.get(), TrabecularQuery::kFullCandidateList);
  EXPECT_EQ(fast.thickness, full.thickness);
  EXPECT_EQ(fast.table, full.table);
  EXPECT_EQ(fast.answers, full.answers);
  EXPECT_EQ(std::count(fast.answers.begin(), fast.answers.end(), '\n'), meshCount + 1);
}

}  // namespace

}  // namespace verdask
