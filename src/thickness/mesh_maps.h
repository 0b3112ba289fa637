// Thickness maps over the mesh: each node's neighbourhood, thicknesses that
// stand out from it, flagged nodes filled from their neighbours, Gaussian
// smoothing along the surface, and thickness classes for sectioned decks.
#pragma once

#include <vector>

#include "input/point_set.h"
#include "input/shell_elements.h"
#include "thickness/thickness_pass.h"

namespace verdask {

/// The mesh as a graph: each node's neighbours (the nodes it shares an
/// element edge with; a quadrilateral counts as two triangles cut along its
/// first diagonal), the cotangent weight of each edge, at least 0 (a
/// non-Delaunay edge would let a fill overshoot its rim), and each node's
/// area (a third of its triangles'). Triangles without an area add neither.
/// The flags need the neighbours alone: without `weighted`, weights and areas are 0.
class MeshGraph {
 public:
  MeshGraph(const PointSet& nodes, const ShellElements& elements, bool weighted = true);

  int nodeCount() const { return static_cast<int>(area_.size()); }
  int begin(int node) const { return first_[node]; }
  int end(int node) const { return first_[node + 1]; }
  int neighbour(int entry) const { return neighbour_[entry]; }
  double weight(int entry) const { return weight_.empty() ? 0 : weight_[entry]; }
  double area(int node) const { return area_[node]; }
  double extent() const { return extent_; }  // the diagonal of the nodes' bounding box

 private:
  // Node i's neighbours: neighbour_[first_[i] .. first_[i + 1]).
  std::vector<int> first_, neighbour_;
  std::vector<double> weight_, area_;  // no weights held where none were asked for
  double extent_ = 0;
};

/// Marks `outlier` the nodes whose value differs from the median of their
/// neighbourhood (the nodes within two edges, those flagged at_hole left out)
/// by more than kOutlierSpread robust deviations (the larger of 1.4826 times
/// the median absolute deviation and 0.8694 times its 75th percentile: the
/// first vanishes where over half the neighbourhood has one value) and more
/// than kOutlierShare of that median. A node with
/// fewer than kOutlierLeast such neighbours is not judged. Returns the count.
constexpr double kOutlierSpread = 5.0;
constexpr double kOutlierShare = 0.25;
constexpr int kOutlierLeast = 6;
int flagOutliers(const MeshGraph& graph, const std::vector<double>& values,
                 std::vector<Quality>& quality, int threads);

/// Whether a node's thickness is replaced by -fill.
inline bool isFlagged(Quality quality) {
  return quality == Quality::kOutlier || quality == Quality::kAtHole;
}

/// Replaces the values of the flagged nodes by the harmonic interpolation
/// of the others (the mesh Laplacian solved with them fixed) and marks them
/// `filled`; nodes without a path to an unflagged node keep their values
/// and flags. The plate is solved by conjugate gradients, at most 5000 steps.
/// Returns the count filled.
int fillFlagged(const MeshGraph& graph, std::vector<double>& values, std::vector<Quality>& quality);

/// Smooths the values by a Gaussian of full width at half maximum `fwhm`
/// along the surface, each node weighted by its area: heat diffusion over the
/// mesh for the time that spreads a point to that Gaussian (sigma squared
/// over two), applied as a Chebyshev expansion of the heat kernel; sigma is
/// at most the mesh's extent. A constant stays constant; nodes of no element
/// keep their values.
void smoothGaussian(const MeshGraph& graph, double fwhm, std::vector<double>& values, int threads);

/// Thickness classes by quantile of the elements' thicknesses (each the mean
/// of its corners'): class k holds the elements from the k-th to the k+1-th
/// N-quantile; equal thicknesses share a class, so fewer classes may hold any.
struct ThicknessClass {
  double from = 0, to = 0;  // the least and greatest element thickness in it
  double mean = 0;          // of its elements' thicknesses
  int elements = 0;
};
struct ThicknessClasses {
  std::vector<ThicknessClass> classes;  // the classes that hold an element, thinnest first
  std::vector<int> classOf;             // each element's place in `classes`
};
ThicknessClasses thicknessClasses(const ShellElements& elements, const float* thickness, int count);

/// What the maps found and did, for -summary and the record.
struct MapFacts {
  int openEdges = 0, rimEdges = 0;  // of the trabecular surface: one triangle's, a hole's rim
  int atHole = 0, outliers = 0;     // nodes flagged
  int filled = 0, unfilled = 0;  // with -fill: replaced, and left without a neighbour to fill from
  double smoothWidth = 0;        // -smooth; 0 without
  ThicknessClasses classes;      // -sections; none without
};

}  // namespace verdask
