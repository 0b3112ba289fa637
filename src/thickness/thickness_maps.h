// What a run does with the maps, for the tool and the module alike: the nodes
// measured through a hole or standing out flagged, then -fill and -smooth.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "thickness/hole_flags.h"
#include "thickness/measure.h"
#include "thickness/mesh_maps.h"
#include "thickness/thickness_pass.h"

namespace verdask {

/// The rims of holes among the trabecular surface's open edges (none: null),
/// both counted in `facts`.
std::unique_ptr<HoleRims> holeRimsOf(const PointSet& trabecular, const std::vector<OpenEdge>& open,
                                     const IndexedSurface& cortical, MapFacts& facts);

/// Flags, in the record's quality, the nodes measured through a hole (`rims`
/// null: there is none) and those that stand out from their neighbourhood;
/// counted in `facts`.
void flagNodes(const HoleRims* rims, const MeasureKind& measure, double maxThick,
               const MeshGraph& graph, PassRecord& record, int threads, MapFacts& facts);

/// More than this share of the nodes flagged is a warning.
constexpr double kFlaggedShare = 0.01;

/// The lines that tell the flagged nodes (nodes of the mesh): for each kind
/// flagged, its count and what it means, and whether it is a warning.
struct FlaggedLine {
  std::string text;
  bool warning;
};
std::vector<FlaggedLine> flaggedLines(const MapFacts& facts, int nodes, bool fill);

/// The record's distances with the flagged nodes filled (`fill`) and then
/// smoothed (`smoothWidth` above 0): what the thickness is settled from.
std::vector<double> mappedDistances(const MeshGraph& graph, bool fill, double smoothWidth,
                                    PassRecord& record, int threads, MapFacts& facts);

}  // namespace verdask
