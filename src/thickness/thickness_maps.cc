#include "thickness/thickness_maps.h"

#include <cstring>

namespace verdask {

std::unique_ptr<HoleRims> holeRimsOf(const PointSet& trabecular, const std::vector<OpenEdge>& open,
                                     const IndexedSurface& cortical, MapFacts& facts) {
  facts.openEdges = static_cast<int>(open.size());
  if (open.empty()) return nullptr;
  auto rims = std::make_unique<HoleRims>(trabecular, open, cortical);
  facts.rimEdges = rims->rimEdges();
  return rims;
}

void flagNodes(const HoleRims* rims, const MeasureKind& measure, double maxThick,
               const MeshGraph& graph, PassRecord& record, int threads, MapFacts& facts) {
  if (rims) {
    // Only a ray along the normal passes a hole's cap on its way to what it hits.
    double reach = strcmp(measure.name, "normal") == 0 ? maxThick : 0;
    facts.atHole = flagHoles(*rims, reach, record, threads);
  }
  facts.outliers = flagOutliers(graph, record.distances, record.quality, threads);
  record.countQualities();
}

std::vector<FlaggedLine> flaggedLines(const MapFacts& facts, int nodes, bool fill) {
  std::vector<FlaggedLine> lines;
  for (auto [count, what] :
       {std::pair{facts.atHole,
                  "measured through a hole of the trabecular surface (quality at_hole)"},
        {facts.outliers, "stand out from their neighbourhood (quality outlier)"}}) {
    if (count == 0) continue;
    lines.push_back({std::to_string(count) + " of " + std::to_string(nodes) + " nodes " + what +
                         (fill ? "" : ": -fill replaces their thickness"),
                     count > kFlaggedShare * nodes});
  }
  return lines;
}

std::vector<double> mappedDistances(const MeshGraph& graph, bool fill, double smoothWidth,
                                    PassRecord& record, int threads, MapFacts& facts) {
  std::vector<double> distances = record.distances;
  int flagged = facts.atHole + facts.outliers;
  if (fill && flagged > 0) {
    facts.filled = fillFlagged(graph, distances, record.quality);
    facts.unfilled = flagged - facts.filled;
  }
  if (smoothWidth > 0) smoothGaussian(graph, smoothWidth, distances, threads);
  facts.smoothWidth = smoothWidth;
  return distances;
}

}  // namespace verdask
