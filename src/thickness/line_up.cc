#include "thickness/line_up.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace verdask {

namespace {

struct Box {
  Coord3 low{INFINITY, INFINITY, INFINITY}, high{-INFINITY, -INFINITY, -INFINITY};
  double diagonal() const { return std::hypot(high.x - low.x, high.y - low.y, high.z - low.z); }
};

Box boxOf(const PointSet& points) {
  Box box;
  for (int i = 0; i < points.count(); ++i) {
    const Coord3& p = points.point(i);
    box.low = {std::min(box.low.x, p.x), std::min(box.low.y, p.y), std::min(box.low.z, p.z)};
    box.high = {std::max(box.high.x, p.x), std::max(box.high.y, p.y), std::max(box.high.z, p.z)};
  }
  return box;
}

// The share of the smaller box that the larger one covers, axis by axis: flat
// boxes count by their extents, not their volume.
double overlap(const Box& a, const Box& b) {
  double shared = 1;
  for (double Coord3::*axis : {&Coord3::x, &Coord3::y, &Coord3::z}) {
    double common = std::min(a.high.*axis, b.high.*axis) - std::max(a.low.*axis, b.low.*axis);
    double smaller = std::min(a.high.*axis - a.low.*axis, b.high.*axis - b.low.*axis);
    if (common < 0) return 0;
    if (smaller > 0) shared *= std::min(1.0, common / smaller);
  }
  return shared;
}

// The unit factor (inch, cm, m to mm) the two sizes differ by, or 0.
double unitFactor(double a, double b) {
  if (!(a > 0 && b > 0)) return 0;
  double ratio = std::max(a, b) / std::min(a, b);
  for (double factor : {10.0, 25.4, 1000.0}) {
    if (std::fabs(ratio / factor - 1) < 0.15) return factor;
  }
  return 0;
}

double percentile(std::vector<double>& values, double share) {
  size_t k = static_cast<size_t>(share * (values.size() - 1) + 0.5);
  std::nth_element(values.begin(), values.begin() + k, values.end());
  return values[k];
}

}  // namespace

LineUp lineUpOf(std::vector<double> distances) {
  LineUp lineUp;
  if (distances.empty()) return lineUp;
  lineUp.maximum = *std::max_element(distances.begin(), distances.end());
  lineUp.percentile95 = percentile(distances, 0.95);
  lineUp.median = percentile(distances, 0.5);
  return lineUp;
}

double medianThickness(const float* thickness, int count) {
  std::vector<double> values(thickness, thickness + count);
  return values.empty() ? 0 : percentile(values, 0.5);
}

bool linesUp(const LineUp& lineUp, double medianThickness, double spacing) {
  return !(lineUp.percentile95 > medianThickness / 2 + spacing);
}

LineUpFinding lineUpFinding(const LineUp& lineUp, double medianThickness, double spacing,
                            const PointSet& mesh, const PointSet& cortical,
                            const std::function<std::vector<double>()>& meshToTrabecular) {
  if (linesUp(lineUp, medianThickness, spacing)) return {};
  char text[400];
  int length =
      snprintf(text, sizeof text,
               "5%% of the mesh vertices lie %g or more from the cortical surface, "
               "more than half the median thickness %g%s: ",
               lineUp.percentile95, medianThickness, spacing > 0 ? " and the vertex spacing" : "");
  Box meshBox = boxOf(mesh), corticalBox = boxOf(cortical);
  double factor = unitFactor(meshBox.diagonal(), corticalBox.diagonal());
  double shared = overlap(meshBox, corticalBox);
  bool plain = true;
  if (linesUp(lineUpOf(meshToTrabecular()), medianThickness, spacing)) {
    snprintf(text + length, sizeof text - length,
             "the mesh lies on the trabecular surface: check the order of the surfaces "
             "(cortical second, trabecular fourth)");
  } else if (factor > 0) {
    snprintf(text + length, sizeof text - length,
             "the mesh and the cortical surface differ in size by a factor of %g (other units?)",
             factor);
  } else if (shared < 0.5) {
    snprintf(text + length, sizeof text - length,
             "their bounding boxes overlap by %.0f%% (mesh moved or misaligned?)", 100 * shared);
  } else {
    plain = false;
    snprintf(text + length, sizeof text - length, "check that the mesh belongs to these surfaces");
  }
  return {text, plain};
}

}  // namespace verdask
