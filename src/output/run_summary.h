// The run's figures: thickness statistics, a histogram and the clamp counts,
// printed by -summary and kept in the run record.
#pragma once

#include <vector>

#include "thickness/line_up.h"
#include "thickness/mesh_maps.h"
#include "thickness/thickness_pass.h"

namespace verdask {

struct ThicknessSummary {
  static constexpr int kBins = 10;
  int vertices = 0;
  double minimum = 0, mean = 0, maximum = 0, deviation = 0;  // population deviation
  double binWidth = 0;  // ten equal bins from the minimum to the maximum
  int bins[kBins] = {};
  int notANumberAngles = 0;
};

ThicknessSummary summarizeThickness(const float* thickness, const PassRecord& record);

/// Prints counts (the elements facing inwards among them), thickness
/// statistics, clamp counts, how far the mesh lies from the cortical surface,
/// and the histogram.
void printRunSummary(int triangles, const ThicknessSummary& summary, const PassRecord& record,
                     const LineUp& lineUp, int inwardElements);

/// Prints the holes and outliers found, what -fill and -smooth did, and the
/// -sections classes: nothing for a run without any.
void printMapSummary(const MapFacts& maps);

}  // namespace verdask
