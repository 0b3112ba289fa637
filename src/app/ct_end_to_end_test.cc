// The CT measure run whole on a small tube phantom: its fit, its record, and
// the inputs it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "test_util.h"

namespace verdask {

namespace {

constexpr double kRadius = 6, kSigma = 0.8, kVoxel = 0.6;
constexpr double kCentre[2] = {3, 2};  // off the axis, so that a frame flip lands off the tube
constexpr int kAround = 24;

double wallAt(double theta) { return 0.5 + 2.5 * (0.5 - 0.5 * std::cos(theta)); }

// A tube along z, its wall 0.5 to 3 mm thick round it (soft tissue 50
// outside, cortex 1500, marrow 300), blurred by sigma 0.8 mm, in 0.6 mm
// voxels from -16 to 16 mm across and -3 to 3 mm along: a MetaImage of floats.
std::string tubeImage() {
  const int across = 54, along = 11;
  std::string voxels;
  for (int k = 0; k < along; ++k) {
    for (int j = 0; j < across; ++j) {
      for (int i = 0; i < across; ++i) {
        double x = -16 + kVoxel * i - kCentre[0], y = -16 + kVoxel * j - kCentre[1];
        double r = std::hypot(x, y), inner = kRadius - wallAt(std::atan2(y, x));
        auto phi = [](double u) { return 0.5 * std::erfc(-u / std::sqrt(2.0)); };
        float v = static_cast<float>(50 + 1450 * phi((kRadius - r) / kSigma) -
                                     1200 * phi((inner - r) / kSigma));
        voxels.append(reinterpret_cast<const char*>(&v), sizeof v);
      }
    }
  }
  return "ObjectType = Image\nNDims = 3\nBinaryData = True\nBinaryDataByteOrderMSB = False\n"
         "Offset = -16 -16 -3\nElementSpacing = 0.6 0.6 0.6\nDimSize = 54 54 11\n"
         "ElementType = MET_FLOAT\nElementDataFile = LOCAL\n" +
         voxels;
}

// The tube's outer surface, two rings of 24 nodes at z = -0.5 and 0.5, moved
// by `shift` along x, with its outward normals: the mesh and the cortical surface.
std::string tubeSurface(double shift = 0) {
  char line[200];
  std::string points = "POINTS 48 double\n", normals = "POINT_DATA 48\nNORMALS n double\n";
  for (int ring = 0; ring < 2; ++ring) {
    for (int k = 0; k < kAround; ++k) {
      double theta = 2 * M_PI * k / kAround;
      snprintf(line, sizeof line, "%.12g %.12g %g\n", kCentre[0] + shift + kRadius * cos(theta),
               kCentre[1] + kRadius * sin(theta), ring - 0.5);
      points += line;
      snprintf(line, sizeof line, "%.12g %.12g 0\n", cos(theta), sin(theta));
      normals += line;
    }
  }
  std::string polygons = "POLYGONS 48 192\n";
  for (int k = 0; k < kAround; ++k) {
    int a = k, b = (k + 1) % kAround;
    snprintf(line, sizeof line, "3 %d %d %d\n3 %d %d %d\n", a, b, b + kAround, a, b + kAround,
             a + kAround);
    polygons += line;
  }
  return "# vtk DataFile Version 3.0\ntube\nASCII\nDATASET POLYDATA\n" + points + polygons +
         normals;
}

class CtRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("tube.mha", tubeImage());
    dir.write("tube.vtk", tubeSurface());
  }
  RunResult run(const std::vector<std::string>& options, const std::string& surface = "tube.vtk") {
    std::vector<std::string> args = {surface, surface, "-", "-"};
    args.insert(args.end(), options.begin(), options.end());
    return runTool(args, dir.path());
  }
  ScratchDir dir;
};

TEST_F(CtRun, FitsTheTubeWallAlongEachNormal) {
  RunResult result = run({"-ct", "tube.mha", "-measure", "ct", "-max", "6", "-ct-sigma", "0.8",
                          "-ct-cortex", "1500", "-json", "run.json"});
  ASSERT_EQ(result.exitCode, 0) << result.out;
  EXPECT_NE(result.out.find("Found 54 x 54 x 11 voxels of 0.6 x 0.6 x 0.6 mm in tube.mha "
                            "(MetaImage, float32)\nCT blur sigma 0.8000 mm (given), cortical "
                            "density 1500 (given)\nFinished calculating values\n"),
            std::string::npos)
      << result.out;
  FILE* answers = fopen(dir.file("ans.log").c_str(), "r");
  ASSERT_TRUE(answers);
  char header[100];
  ASSERT_TRUE(fgets(header, sizeof header, answers));
  int node;
  double thickness, angle;
  for (int n = 0; fscanf(answers, "%d %lf %lf", &node, &thickness, &angle) == 3; ++n) {
    SCOPED_TRACE(node);
    // Trilinear samples of the blurred wall, itself sampled in voxels, leave a few hundredths.
    EXPECT_NEAR(thickness, wallAt(2 * M_PI * (n % kAround) / kAround), 0.03);
    EXPECT_EQ(angle, 0);
  }
  fclose(answers);
  std::string record = dir.read("run.json");
  for (const char* part : {"\"sigma\": 0.8,", "\"sigma_estimated\": false,",
                           "\"cortical_density\": 1500.0,", "\"size\": [\n        54,"}) {
    EXPECT_NE(record.find(part), std::string::npos) << part;
  }
}

struct RefusedCase {
  const char* name;
  std::vector<std::string> options;
  const char* surface;
  int exitCode;
  const char* line;  // the line that tells why
};

TEST_F(CtRun, RefusesWhatItCannotMeasureAndKeepsTheEarlierOutputs) {
  dir.write("four.mha", "ObjectType = Image\nNDims = 4\nElementDataFile = LOCAL\n");
  dir.write("away.vtk", tubeSurface(40));
  const std::vector<std::string> given = {"-ct-sigma", "0.8", "-ct-cortex", "1500"};
  auto with = [&](std::vector<std::string> options) {
    options.insert(options.end(), given.begin(), given.end());
    return options;
  };
  const std::vector<RefusedCase> cases = {
      {"frame flipped", with({"-ct", "tube.mha", "-measure", "ct", "-ct-frame", "ras"}), "tube.vtk",
       247,
       "Refused: the cortical surface does not sit on the image's edges: 28 of 48 profiles "
       "sampled have none within 2.7 mm of it: in the LPS frame it does, give -ct-frame lps "
       "(-force writes the outputs anyway)\n"},
      {"image away from the mesh", with({"-ct", "tube.mha", "-measure", "ct"}), "away.vtk", 246,
       "Failure: the image does not cover the mesh: the profiles of 48 of 48 nodes sampled leave "
       "it, nor in the RAS frame: are the surfaces from this scan?\n"},
      {"4D image", with({"-ct", "four.mha", "-measure", "ct"}), "tube.vtk", 246,
       "Failure reading the CT image four.mha: it is 4D, not 3D\n"},
      {"blur not estimable",
       {"-ct", "tube.mha", "-measure", "ct", "-max", "2"},
       "tube.vtk",
       246,
       "Failure: cannot estimate the blur and the cortical density: 0 of 48 nodes sampled have a "
       "cortex thicker than 3 blur widths, 10 are needed: give -ct-sigma and -ct-cortex\n"},
      {"-ct without its measure",
       {"-ct", "tube.mha"},
       "tube.vtk",
       255,
       "-ct is read by -measure ct alone\n"},
      {"the measure without -ct",
       {"-measure", "ct"},
       "tube.vtk",
       255,
       "-measure ct needs the CT image: -ct FILE\n"},
      {"blur of zero",
       {"-ct", "tube.mha", "-measure", "ct", "-ct-sigma", "0"},
       "tube.vtk",
       255,
       "-ct-sigma and -ct-cortex must be positive\n"},
      {"unknown frame",
       {"-ct", "tube.mha", "-measure", "ct", "-ct-frame", "xyz"},
       "tube.vtk",
       255,
       "entered invalid frame for the CT image: lps or ras\n"},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write("ans.log", "earlier\n");
    RunResult result = run(c.options, c.surface);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_NE(result.out.find(c.line), std::string::npos) << result.out;
    EXPECT_EQ(dir.read("ans.log"), "earlier\n");
  }
  RunResult noTrabecular = runTool({"tube.vtk", "tube.vtk", "-", "-"}, dir.path());
  EXPECT_EQ(noTrabecular.exitCode, 255);
  EXPECT_NE(noTrabecular.out.find("the trabecular surface may be - only with -measure ct\n"),
            std::string::npos);
}

}  // namespace

}  // namespace verdask
