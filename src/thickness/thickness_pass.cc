#include "thickness/thickness_pass.h"

#include <ANN/ANN.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <initializer_list>

#include "io/platform.h"
#include "io/text_writer.h"
#include "thickness/thickness.h"

namespace verdask {

namespace {

const char kTableHeader[] = "MeshNode\tCorticalNode\tX\t\tY\t\tZ\t\tThickness\tAngle\n";
const char kAnswerHeader[] = "MeshVertex\tThickness\tAngle\n";

struct LogWriters {
  TextWriter table;
  TextWriter answers;

  // "%8d\t%8d\t\t%0.3e\t%0.3e\t%0.3e\t%0.3e\t%2.2f\n" and "%d\t\t%0.3e\t%2.2f\n"
  void writeRows(int vertex, int corticalVertex, const Coord3& c, float thickness, double angle) {
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
};

bool indexInRange(int index, int count) { return index >= 0 && index < count; }

// The trees allocate two small nodes per point from the heap: about this much.
constexpr size_t kTreeBytesPerPoint = 96;

}  // namespace

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

namespace {

void recordVertex(PassRecord& record, double angle, int corticalVertex, Clamp clamp) {
  if (record.keepVertices) {
    record.angles.push_back(angle);
    record.corticalVertices.push_back(corticalVertex);
  }
  record.obtuseAngles += angle > 90.0;
  record.raisedToMin += clamp == Clamp::kRaisedToMin;
  record.loweredToMax += clamp == Clamp::kLoweredToMax;
}

}  // namespace

int calculateValues(FILE* table, FILE* answers, const PointSet& mesh, const PointSet& cortical,
                    const PointSet& trabecular, const Coord3* normals, float* thickness,
                    double adjThick, double maxThick, double minThick, TrabecularQuery query,
                    PassRecord* record) {
  reserveHeap(kTreeBytesPerPoint * (static_cast<size_t>(cortical.count()) + trabecular.count()));
  ANNkd_tree corticalTree(cortical.points(), cortical.count(), 3, 1, ANN_KD_SUGGEST);
  ANNkd_tree trabecularTree(trabecular.points(), trabecular.count(), 3, 1, ANN_KD_SUGGEST);
  fputs(kTableHeader, table);
  fputs(kAnswerHeader, answers);
  // Too few trabecular vertices: the library reports it and ends the process.
  int k = query == TrabecularQuery::kFullCandidateList || trabecular.count() < kCandidateCount
              ? kCandidateCount
              : 1;
  ANNidx candidates[kCandidateCount];
  ANNdist distances[kCandidateCount];
  LogWriters logs{TextWriter(table), TextWriter(answers)};
  for (int i = 0; i < mesh.count(); ++i) {
    ANNidx c;
    corticalTree.annkSearch(mesh.points()[i], 1, &c, distances, 0.0);
    if (!indexInRange(c, cortical.count())) {
      printf("No nearest cortical vertex found for mesh vertex #%d\n", i + 1);
      return -2;
    }
    trabecularTree.annkSearch(cortical.points()[c], k, candidates, distances, 0.0);
    if (!indexInRange(candidates[0], trabecular.count())) {
      printf("No nearest trabecular vertex found for mesh vertex #%d\n", i + 1);
      return -3;
    }
    double angle;
    double distance =
        nearestThickness(cortical.point(c), normals[c], trabecular.coords(), candidates, &angle);
    Clamp clamp;
    thickness[i] = adjustThickness(distance, adjThick, maxThick, minThick, &clamp);
    logs.writeRows(i + 1, c + 1, cortical.point(c), thickness[i], angle);
    if (record) recordVertex(*record, angle, c + 1, clamp);
  }
  bool written = logs.table.finish();
  written = logs.answers.finish() && written;
  if (!written) {
    printf("Failed to write the table or answer log\n");
    return -1;
  }
  return 0;
}

}  // namespace verdask
