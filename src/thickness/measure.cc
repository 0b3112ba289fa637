#include "thickness/measure.h"

#include "thickness/thickness.h"

namespace verdask {

VertexMeasure::VertexMeasure(const PointSet& cortical, const NearestVertex& corticalIndex,
                             const Coord3* normals, const PointSet& trabecular,
                             const NearestVertex& trabecularIndex)
    : cortical_(cortical),
      corticalIndex_(corticalIndex),
      normals_(normals),
      trabecular_(trabecular),
      trabecularIndex_(trabecularIndex) {}

void VertexMeasure::begin() const {
  if (trabecular_.count() < kCandidateCount) {
    trabecularIndex_.askAnn(&cortical_.point(0).x, kCandidateCount);
  }
}

Measurement VertexMeasure::at(const Coord3& meshVertex) const {
  int c = corticalIndex_.nearest(&meshVertex.x);
  int t = trabecularIndex_.nearest(&cortical_.point(c).x);
  return {cortical_.point(c), c + 1, normals_[c], trabecular_.point(t)};
}

}  // namespace verdask
