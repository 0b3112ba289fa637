#include "thickness/thickness_pass.h"

#include <cstdio>
#include <initializer_list>
#include <memory>

#include "base/parallel.h"
#include "base/progress.h"
#include "base/report.h"
#include "base/text_writer.h"
#include "thickness/measure.h"
#include "thickness/thickness.h"

namespace verdask {

namespace {

const char kTableHeader[] = "MeshNode\tCorticalNode\tX\t\tY\t\tZ\t\tThickness\tAngle\n";
const char kAnswerHeader[] = "MeshVertex\tThickness\tAngle\n";

// Mesh vertices are measured and formatted in blocks of this many, each
// block on one thread, and written in order.
constexpr int kBlockVertices = 2048;

// "%8d\t%8d\t\t%0.3e\t%0.3e\t%0.3e\t%0.3e\t%2.2f\n" and "%d\t\t%0.3e\t%2.2f\n"
void writeRows(TextWriter& table, TextWriter& answers, int vertex, int corticalVertex,
               const Coord3& c, float thickness, double angle) {
  char thick[kNumberCapacity], degrees[kNumberCapacity];
  size_t thickLength = formatScientific3(thickness, thick);
  size_t degreesLength = formatFixed(angle, 2, degrees);
  table.putInt(vertex, 8);
  table.put('\t');
  table.putInt(corticalVertex, 8);
  table.put("\t\t", 2);
  for (double v : {c.x, c.y, c.z}) {
    table.putScientific3(v);
    table.put('\t');
  }
  table.put(thick, thickLength);
  table.put('\t');
  table.put(degrees, degreesLength);
  table.put('\n');
  answers.putInt(vertex);
  answers.put("\t\t", 2);
  answers.put(thick, thickLength);
  answers.put('\t');
  answers.put(degrees, degreesLength);
  answers.put('\n');
}

// One block's rows and counts.
struct Block {
  TextWriter table, answers;
  int raisedToMin = 0, loweredToMax = 0;
  int qualityCounts[kQualities] = {};
};

Quality qualityOf(const Measurement& m, Clamp clamp, double angle) {
  if (m.profileFlag != ProfileFlag::kNone) {
    return static_cast<Quality>(static_cast<int>(Quality::kOutsideCortex) +
                                static_cast<int>(m.profileFlag));
  }
  if (angle > 90.0) return Quality::kOutsideCortex;
  if (clamp == Clamp::kRaisedToMin) return Quality::kRaisedToMin;
  if (clamp == Clamp::kLoweredToMax) return Quality::kLoweredToMax;
  return m.fellBack ? Quality::kFellBack : Quality::kMeasured;
}

struct Pass {
  const PointSet& mesh;
  const Measure& measure;
  float* thickness;
  double adjThick, maxThick, minThick;
  PassRecord& record;
  const int* nodeNumbers;

  // Measures mesh vertices begin to end - 1 and formats their rows.
  void measureBlock(int begin, int end, Block& block) const {
    for (int i = begin; i < end; ++i) {
      Measurement m = measure.at(mesh.point(i));
      double angle;
      double distance = nearestThickness(m.cortical, m.normal, m.trabecular, &angle);
      if (m.thickness >= 0) distance = m.thickness;
      Clamp clamp;
      thickness[i] = adjustThickness(distance, adjThick, maxThick, minThick, &clamp);
      if (record.deferLogs) {
        clamp = Clamp::kNone;  // the clamp applies to the settled thickness
      } else {
        writeRows(block.table, block.answers, nodeNumbers ? nodeNumbers[i] : i + 1,
                  m.corticalVertex, m.cortical, thickness[i], angle);
      }
      record.distances[i] = distance;
      record.corticalPoints[i] = m.cortical;
      record.trabecularPoints[i] = m.trabecular;
      block.raisedToMin += clamp == Clamp::kRaisedToMin;
      block.loweredToMax += clamp == Clamp::kLoweredToMax;
      record.normals[i] = m.normal;
      record.quality[i] = qualityOf(m, clamp, angle);
      ++block.qualityCounts[static_cast<int>(record.quality[i])];
      const Coord3& v = mesh.point(i);
      record.meshToCortical[i] =
          vectorLength({v.x - m.cortical.x, v.y - m.cortical.y, v.z - m.cortical.z});
      if (record.keepVertices) {
        record.angles[i] = angle;
        record.corticalVertices[i] = m.corticalVertex;
      }
      if (record.keepProfiles) record.profiles[i] = m.profile;
    }
  }
};

bool writeAll(FILE* stream, const TextWriter& text) {
  return fwrite(text.data(), 1, text.size(), stream) == text.size();
}

// Writes each block's rows in order as it is formatted on the threads given,
// adding up its counts; false when a write failed.
template <typename Format>
bool writeBlocks(int vertices, FILE* table, FILE* answers, PassRecord& record, int threads,
                 Format format) {
  int blocks = (vertices + kBlockVertices - 1) / kBlockVertices;
  std::vector<std::unique_ptr<Block>> texts(blocks);
  bool written = true;
  produceInOrder(
      threads, blocks, 4 * threads,
      [&](int b) {
        texts[b] = std::make_unique<Block>();
        int begin = b * kBlockVertices, end = std::min(vertices, (b + 1) * kBlockVertices);
        format(begin, end, *texts[b]);
      },
      [&](int b) {
        written =
            writeAll(table, texts[b]->table) && writeAll(answers, texts[b]->answers) && written;
        record.raisedToMin += texts[b]->raisedToMin;
        record.loweredToMax += texts[b]->loweredToMax;
        for (int q = 0; q < kQualities; ++q) record.qualityCounts[q] += texts[b]->qualityCounts[q];
        texts[b].reset();
      });
  return written;
}

// Flushes both logs; nonzero, after reporting, when they could not be written.
int finishLogs(FILE* table, FILE* answers, bool written) {
  written = fflush(table) == 0 && !ferror(table) && written;
  written = fflush(answers) == 0 && !ferror(answers) && written;
  if (!written) {
    report("Failed to write the table or answer log\n");
    return -1;
  }
  return 0;
}

// Measures every mesh vertex on the threads given and writes the rows in
// order on the calling thread; false when a write failed.
bool measureAll(const Pass& pass, FILE* table, FILE* answers, int threads) {
  int vertices = pass.mesh.count();
  enterStage(Stage::kMeasuring, vertices);
  return writeBlocks(vertices, table, answers, pass.record, threads,
                     [&](int begin, int end, Block& block) {
                       pass.measureBlock(begin, end, block);
                       advanceProgress(end - begin);
                     });
}

}  // namespace

const char* const kQualityNames[kQualities] = {
    "measured", "fell_back",  "lowered_to_maximum", "raised_to_minimum", "outside_cortex",
    "at_bound", "fit_failed", "no_cortex",          "left_image",        "outlier",
    "at_hole",  "filled"};

void PassRecord::countQualities() {
  std::fill(qualityCounts, qualityCounts + kQualities, 0);
  for (Quality q : quality) ++qualityCounts[static_cast<int>(q)];
}

float adjustThickness(double distance, double adjThick, double maxThick, double minThick,
                      Clamp* clamp) {
  float stored = static_cast<float>(distance);
  stored = static_cast<float>(adjThick + stored);
  *clamp = Clamp::kNone;
  // A not-a-number thickness fails the first test and becomes minThick.
  if (!(stored >= minThick)) {
    stored = static_cast<float>(minThick);
    *clamp = Clamp::kRaisedToMin;
  } else if (stored > maxThick) {
    stored = static_cast<float>(maxThick);
    *clamp = Clamp::kLoweredToMax;
  }
  return stored;
}

std::string swappedSurfacesWarning(const PassRecord& record, int meshCount) {
  if (2LL * record.obtuseAngles() <= meshCount) return "";
  char text[200];
  snprintf(text, sizeof text,
           "%d of %d angles exceed 90 degrees: the cortical and trabecular surfaces may be "
           "swapped, or the normals inverted",
           record.obtuseAngles(), meshCount);
  return text;
}

int calculateValues(FILE* table, FILE* answers, const PointSet& mesh, const Measure& measure,
                    float* thickness, double adjThick, double maxThick, double minThick,
                    PassRecord& record, int threads, const int* nodeNumbers) {
  if (!record.deferLogs) {
    fputs(kTableHeader, table);
    fputs(kAnswerHeader, answers);
  }
  record.meshToCortical.resize(mesh.count());
  record.normals.resize(mesh.count());
  record.quality.resize(mesh.count());
  record.distances.resize(mesh.count());
  record.corticalPoints.resize(mesh.count());
  record.trabecularPoints.resize(mesh.count());
  if (record.keepVertices) {
    record.angles.resize(mesh.count());
    record.corticalVertices.resize(mesh.count());
  }
  if (record.keepProfiles) record.profiles.resize(mesh.count());
  Pass pass{mesh, measure, thickness, adjThick, maxThick, minThick, record, nodeNumbers};
  return finishLogs(table, answers, measureAll(pass, table, answers, std::max(1, threads)));
}

int settleThickness(FILE* table, FILE* answers, const std::vector<double>& distances,
                    float* thickness, double adjThick, double maxThick, double minThick,
                    PassRecord& record, int threads, const int* nodeNumbers) {
  std::fill(record.qualityCounts, record.qualityCounts + kQualities, 0);
  record.raisedToMin = record.loweredToMax = 0;
  auto format = [&](int begin, int end, Block& block) {
    for (int i = begin; i < end; ++i) {
      Clamp clamp;
      thickness[i] = adjustThickness(distances[i], adjThick, maxThick, minThick, &clamp);
      Quality clamped = clamp == Clamp::kRaisedToMin    ? Quality::kRaisedToMin
                        : clamp == Clamp::kLoweredToMax ? Quality::kLoweredToMax
                                                        : Quality::kMeasured;
      record.quality[i] = std::max(record.quality[i], clamped);  // the higher tells more
      ++block.qualityCounts[static_cast<int>(record.quality[i])];
      block.raisedToMin += clamp == Clamp::kRaisedToMin;
      block.loweredToMax += clamp == Clamp::kLoweredToMax;
      writeRows(block.table, block.answers, nodeNumbers ? nodeNumbers[i] : i + 1,
                record.corticalVertices[i], record.corticalPoints[i], thickness[i],
                record.angles[i]);
    }
  };
  fputs(kTableHeader, table);
  fputs(kAnswerHeader, answers);
  return finishLogs(table, answers,
                    writeBlocks(static_cast<int>(distances.size()), table, answers, record,
                                std::max(1, threads), format));
}

}  // namespace verdask
