#include "thickness/thickness_pass.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "input/formats.h"
#include "test_util.h"

namespace verdask {

namespace {

struct PassOutput {
  std::string table, answers;
  std::vector<float> thickness;
  PassRecord record;
  long long judged = 0;  // cortical queries answered by ANN
};

struct Bone {
  PointSet mesh;
  SurfaceData cortical, trabecular;
  std::vector<Coord3> normals;
};

// A generated bone, read as the tool reads it.
void makeBone(const std::vector<std::string>& arguments, Bone& bone) {
  ScratchDir dir;
  std::vector<std::string> args = {dir.path()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  ASSERT_EQ(runProgram(MAKE_BONE_BINARY, args, dir.path()).exitCode, 0);
  FILE* files[4];
  const char* names[] = {"mesh.hmascii", "cort.surf", "trab.surf", "norm.vtk"};
  for (int i = 0; i < 4; ++i) files[i] = fopen(dir.file(names[i]).c_str(), "r");
  const InputFormat& surf = *inputFormatOf(names[1], InputRole::kSurface);
  ShellMesh mesh;
  NormalsScan scan;
  ASSERT_FALSE(readMeshFile(files[0], names[0], *inputFormatOf(names[0], InputRole::kMesh), mesh));
  ASSERT_TRUE(bone.mesh.assign(mesh.nodes));
  ASSERT_FALSE(readSurfaceFile(files[1], names[1], surf, TriangleUse::kNone, bone.cortical));
  ASSERT_FALSE(readSurfaceFile(files[2], names[2], surf, TriangleUse::kNone, bone.trabecular));
  ASSERT_FALSE(
      scanNormalsFile(files[3], names[3], *inputFormatOf(names[3], InputRole::kNormals), scan));
  ASSERT_FALSE(takeNormals(scan, bone.cortical.points.count(), bone.normals));
  for (FILE* file : files) fclose(file);
}

PassOutput runPass(const Bone& bone, IndexChoice index, int threads) {
  NearestVertex corticalIndex(bone.cortical.points, TieRule::kEveryTie, index);
  NearestVertex trabecularIndex(bone.trabecular.points, TieRule::kDistinctCoordinates, index);
  VertexMeasure measure({&bone.cortical.points, &corticalIndex}, bone.normals.data(),
                        {&bone.trabecular.points, &trabecularIndex});
  char *tableData = nullptr, *answerData = nullptr;
  size_t tableSize = 0, answerSize = 0;
  FILE* table = open_memstream(&tableData, &tableSize);
  FILE* answers = open_memstream(&answerData, &answerSize);
  PassOutput out;
  out.thickness.resize(bone.mesh.count());
  out.record.keepVertices = true;
  EXPECT_EQ(calculateValues(table, answers, bone.mesh, measure, out.thickness.data(), -0.25, 3.0,
                            0.75, out.record, threads),
            0);
  fclose(table);
  fclose(answers);
  out.judged = corticalIndex.counts().judged;
  out.table.assign(tableData, tableSize);
  out.answers.assign(answerData, answerSize);
  free(tableData);
  free(answerData);
  return out;
}

// The fast index, on one thread and on several, against ANN alone, on a
// smooth bone and on a tie-heavy one (grid coordinates, duplicate vertices).
TEST(ThicknessPass, FastIndexOnAnyThreadsWritesWhatAnnAloneWrites) {
  for (const char* kind : {"smooth", "grid"}) {
    SCOPED_TRACE(kind);
    Bone bone;
    makeBone({"3000", "6000", "9", kind}, bone);
    PassOutput reference = runPass(bone, IndexChoice::kAnnOnly, 1);
    for (int threads : {1, 3}) {
      PassOutput fast = runPass(bone, IndexChoice::kFastWithAnnJudge, threads);
      EXPECT_EQ(fast.thickness, reference.thickness);
      EXPECT_EQ(fast.table, reference.table);
      EXPECT_EQ(fast.answers, reference.answers);
      EXPECT_EQ(fast.record.corticalVertices, reference.record.corticalVertices);
      EXPECT_EQ(std::vector<int>(fast.record.qualityCounts, fast.record.qualityCounts + kQualities),
                std::vector<int>(reference.record.qualityCounts,
                                 reference.record.qualityCounts + kQualities));
      EXPECT_EQ(fast.record.raisedToMin, reference.record.raisedToMin);
      if (std::string(kind) == "grid") {
        EXPECT_GT(fast.judged, 0);
      }
    }
    EXPECT_EQ(std::count(reference.answers.begin(), reference.answers.end(), '\n'),
              bone.mesh.count() + 1);
  }
}

void fillOne(PointSet& set, const Coord3& p) {
  ASSERT_TRUE(set.resize(1));
  set.points()[0][0] = p.x;
  set.points()[0][1] = p.y;
  set.points()[0][2] = p.z;
}

// A measure that answers every mesh vertex alike.
class FixedMeasure : public Measure {
 public:
  explicit FixedMeasure(const Measurement& m) : m_(m) {}
  Measurement at(const Coord3&) const override { return m_; }

 private:
  Measurement m_;
};

// One mesh vertex, measured from the origin with the normal +z to a trabecular
// point below it, above it (crossed surfaces), too near or too far, the measure
// falling back or not; a clamp tells more than a fall-back.
TEST(ThicknessPass, QualityTellsHowEachThicknessCameAbout) {
  struct Case {
    Coord3 trabecular;
    bool fellBack;
    Quality quality;
    float thickness;
  };
  const Case cases[] = {
      {{0, 0, -2}, false, Quality::kMeasured, 2},
      {{0, 0, -2}, true, Quality::kFellBack, 2},
      {{0, 0, -25}, false, Quality::kLoweredToMax, 20},
      {{0, 0, -0.1}, true, Quality::kRaisedToMin, 0.5},
      {{0, 0, 2}, false, Quality::kOutsideCortex, 2},
  };
  for (const Case& c : cases) {
    PointSet mesh;
    fillOne(mesh, {0, 0, 0.5});
    Measurement m{{0, 0, 0}, 1, {0, 0, 1}, c.trabecular};
    m.fellBack = c.fellBack;
    FixedMeasure measure(m);
    FILE* null = fopen("/dev/null", "w");
    float thickness;
    PassRecord record;
    ASSERT_EQ(calculateValues(null, null, mesh, measure, &thickness, 0, 20, 0.5, record, 1), 0);
    fclose(null);
    SCOPED_TRACE(static_cast<int>(c.quality));
    EXPECT_EQ(thickness, c.thickness);
    EXPECT_EQ(record.quality, std::vector<Quality>{c.quality});
    std::vector<int> counts(kQualities);
    counts[static_cast<int>(c.quality)] = 1;
    EXPECT_EQ(std::vector<int>(record.qualityCounts, record.qualityCounts + kQualities), counts);
  }
}

}  // namespace

}  // namespace verdask
