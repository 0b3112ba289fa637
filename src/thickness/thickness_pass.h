// The thickness pass: kd-trees over both surfaces, a thickness and an angle
// per mesh vertex, and the table and answer logs.
#pragma once

#include <cstdio>
#include <vector>

#include "io/readers.h"

namespace verdask {

/// How many trabecular neighbours each query asks for. Only the nearest
/// decides the result; the full candidate list stays for comparison.
enum class TrabecularQuery { kNearestOnly, kFullCandidateList };

enum class Clamp { kNone, kRaisedToMin, kLoweredToMax };

/// What the pass found besides the thickness: counts, and, when asked for,
/// the angle and cortical vertex of every mesh vertex (for the view and summary).
struct PassRecord {
  bool keepVertices = false;
  std::vector<double> angles;
  std::vector<int> corticalVertices;  // from 1
  int raisedToMin = 0;
  int loweredToMax = 0;
  int obtuseAngles = 0;  // above 90 degrees: the normal points away from the trabecular vertex
};

/// Fills thickness[i] for every mesh vertex and writes both logs; nonzero
/// when a stream could not be written. Fewer trabecular vertices than
/// candidates end the process in the neighbour library. A record, if given,
/// receives the counts and, if it asks, the per-vertex values.
int calculateValues(FILE* table, FILE* answers, const PointSet& mesh, const PointSet& cortical,
                    const PointSet& trabecular, const Coord3* normals, float* thickness,
                    double adjThick, double maxThick, double minThick,
                    TrabecularQuery query = TrabecularQuery::kNearestOnly,
                    PassRecord* record = nullptr);

/// The stored thickness: the distance as a float, plus adjThick, clamped;
/// `clamp` tells which bound, if any, was applied.
float adjustThickness(double distance, double adjThick, double maxThick, double minThick,
                      Clamp* clamp);

}  // namespace verdask
