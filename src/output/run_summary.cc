#include "output/run_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace verdask {

ThicknessSummary summarizeThickness(const float* thickness, const PassRecord& record) {
  ThicknessSummary s;
  s.vertices = static_cast<int>(record.angles.size());
  if (s.vertices == 0) return s;
  s.minimum = s.maximum = thickness[0];
  for (int i = 0; i < s.vertices; ++i) {
    s.minimum = std::min<double>(s.minimum, thickness[i]);
    s.maximum = std::max<double>(s.maximum, thickness[i]);
    s.mean += thickness[i];
  }
  s.mean /= s.vertices;
  for (int i = 0; i < s.vertices; ++i) {
    s.deviation += (thickness[i] - s.mean) * (thickness[i] - s.mean);
  }
  s.deviation = std::sqrt(s.deviation / s.vertices);
  s.binWidth = (s.maximum - s.minimum) / ThicknessSummary::kBins;
  for (int i = 0; i < s.vertices; ++i) {
    int bin = s.binWidth > 0 ? static_cast<int>((thickness[i] - s.minimum) / s.binWidth) : 0;
    ++s.bins[std::min(bin, ThicknessSummary::kBins - 1)];  // the maximum closes the last bin
  }
  s.notANumberAngles = static_cast<int>(std::count_if(record.angles.begin(), record.angles.end(),
                                                      [](double a) { return std::isnan(a); }));
  return s;
}

void printRunSummary(int triangles, const ThicknessSummary& s, const PassRecord& record,
                     const LineUp& lineUp, int inwardElements) {
  printf("\nRun summary\n");
  printf("mesh vertices       : %d\n", s.vertices);
  printf("triangles           : %d\n", triangles);
  printf("facing inwards      : %d\n", inwardElements);
  printf("thickness minimum   : %.6f\n", s.minimum);
  printf("thickness mean      : %.6f\n", s.mean);
  printf("thickness maximum   : %.6f\n", s.maximum);
  printf("thickness std dev   : %.6f\n", s.deviation);
  printf("raised to minimum   : %d\n", record.raisedToMin);
  printf("lowered to maximum  : %d\n", record.loweredToMax);
  printf("angles not a number : %d\n", s.notANumberAngles);
  printf("quality             :");
  for (int q = 0; q < kQualities; ++q) {
    if (!record.tells(q)) continue;
    printf("%s %s %d", q ? "," : "", kQualityNames[q], record.qualityCounts[q]);
  }
  printf("\n");
  printf("mesh to cortical    : median %.6f, 95th percentile %.6f, maximum %.6f\n", lineUp.median,
         lineUp.percentile95, lineUp.maximum);
  int tallest = *std::max_element(s.bins, s.bins + ThicknessSummary::kBins);
  printf("thickness histogram :\n");
  for (int b = 0; b < ThicknessSummary::kBins; ++b) {
    printf("  %12.6f - %12.6f : %8d %s\n", s.minimum + b * s.binWidth,
           s.minimum + (b + 1) * s.binWidth, s.bins[b],
           std::string(tallest ? 40 * s.bins[b] / tallest : 0, '#').c_str());
  }
}

void printMapSummary(const MapFacts& maps) {
  if (maps.atHole + maps.outliers + maps.filled + maps.unfilled > 0 || maps.smoothWidth > 0) {
    printf(
        "holes and outliers  : at_hole %d, outlier %d, filled %d, unfilled %d (%d open edges "
        "of the trabecular surface, %d of them rims of holes)\n",
        maps.atHole, maps.outliers, maps.filled, maps.unfilled, maps.openEdges, maps.rimEdges);
  }
  if (maps.smoothWidth > 0) printf("smoothed            : FWHM %.6f\n", maps.smoothWidth);
  if (maps.classes.classes.empty()) return;
  printf("thickness classes   :\n");
  for (size_t k = 0; k < maps.classes.classes.size(); ++k) {
    const ThicknessClass& c = maps.classes.classes[k];
    printf("  T%-3zu %12.6f - %12.6f : mean %12.6f, %8d elements\n", k + 1, c.from, c.to, c.mean,
           c.elements);
  }
}

}  // namespace verdask
