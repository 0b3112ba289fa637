// The thickness pass: a thickness and an angle per mesh vertex, measured
// between the cortical and the trabecular surface, and the table and answer logs.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "input/readers.h"
#include "thickness/measure.h"

namespace verdask {

enum class Clamp { kNone, kRaisedToMin, kLoweredToMax };

/// How a node's thickness came about; where several hold, the later in this
/// list. Of the pass's, the inner point outside the cortex (on the outer side
/// of the cortical normal: surfaces crossed or normals inverted) tells most;
/// the flags set after it tell more: a thickness replaced most, then the hole
/// it was measured through, then its standing out, which a hole mostly causes.
enum class Quality : char {
  kMeasured,       // as the measure defines it
  kFellBack,       // the measure could not be taken as defined: the closest point
  kLoweredToMax,   // clamped to -max
  kRaisedToMin,    // clamped to -min
  kOutsideCortex,  // the inner point lies outside the cortex
  // The CT measure's, as ProfileFlag: the fit stopped at a bound of the
  // thickness, failed, found no cortex, or its profile left the image.
  kAtBound,
  kFitFailed,
  kNoCortex,
  kLeftImage,
  // The maps', set after the pass.
  kOutlier,  // the thickness stands out from its neighbourhood's
  kAtHole,   // the measure ended on the rim of a hole of the trabecular surface, or passed it
  kFilled,   // an outlier or at_hole thickness replaced from the neighbours (-fill)
};
constexpr int kQualities = 12;
constexpr int kSurfaceQualities = 5;  // those of the measures between surfaces

/// The names of the qualities, as the view's legend, the record and -summary give them.
extern const char* const kQualityNames[kQualities];

/// What the pass found besides the thickness: counts, each mesh vertex's
/// distance to the cortical point measured from, and, when asked for, the
/// angle and cortical vertex of every mesh vertex (for the view and summary).
struct PassRecord {
  bool keepVertices = false;
  std::vector<double> meshToCortical;
  std::vector<Coord3> normals;  // the cortical normal each mesh vertex was measured with
  std::vector<Quality> quality;
  int qualityCounts[kQualities] = {};
  /// Angles above 90 degrees: the normal points away from the trabecular point.
  int obtuseAngles() const { return qualityCounts[static_cast<int>(Quality::kOutsideCortex)]; }
  std::vector<double> angles;
  std::vector<int> corticalVertices;  // from 1
  bool keepProfiles = false;  // the CT measure's: its values per vertex, and its qualities told
  std::vector<ProfileValues> profiles;
  int raisedToMin = 0;
  int loweredToMax = 0;
  /// Whether the view's legend, the record and -summary tell of a quality:
  /// the CT measure's in its runs, the maps' flags where they were set, so
  /// that a run without either reads as before them.
  bool tells(int q) const {
    if (q < kSurfaceQualities) return true;
    if (q < static_cast<int>(Quality::kOutlier)) return keepProfiles;
    return qualityCounts[q] > 0;
  }
  // Where each thickness was measured between, and the distance before -adj
  // and the clamp: for the hole and outlier flags and the maps.
  std::vector<Coord3> corticalPoints, trabecularPoints;  // also the module's result
  std::vector<double> distances;
  /// The logs wait for settleThickness (-fill or -smooth change the thickness
  /// first); the vertices must be kept.
  bool deferLogs = false;
  std::vector<float> measuredThickness;  // with -fill or -smooth, the thickness before them

  /// Counts each quality again, after flags were set.
  void countQualities();
};

/// Measures every mesh vertex, fills thickness[i] and writes both logs, on
/// up to `threads` threads with the same bytes for any number; nonzero when a
/// stream could not be written. The record receives the counts and, if it
/// asks, the per-vertex values. The logs name each vertex by its own number
/// where `nodeNumbers` gives one, else by its position from 1.
int calculateValues(FILE* table, FILE* answers, const PointSet& mesh, const Measure& measure,
                    float* thickness, double adjThick, double maxThick, double minThick,
                    PassRecord& record, int threads, const int* nodeNumbers = nullptr);

/// Angles mostly above 90 degrees mean the normals point away from the
/// trabecular surface; the deck is still written. Empty when they do not.
std::string swappedSurfacesWarning(const PassRecord& record, int meshCount);

/// With deferred logs: the thickness from each node's final distance, plus
/// adjThick and clamped (the clamp counted and flagged), and both logs
/// written, as calculateValues writes them.
int settleThickness(FILE* table, FILE* answers, const std::vector<double>& distances,
                    float* thickness, double adjThick, double maxThick, double minThick,
                    PassRecord& record, int threads, const int* nodeNumbers = nullptr);

/// The stored thickness: the distance as a float, plus adjThick, clamped;
/// `clamp` tells which bound, if any, was applied.
float adjustThickness(double distance, double adjThick, double maxThick, double minThick,
                      Clamp* clamp);

}  // namespace verdask
