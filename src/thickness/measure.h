// Where a mesh vertex's thickness is measured: from a point of the cortical
// surface, along with its normal, to a point of the trabecular surface.
#pragma once

#include "io/point_set.h"
#include "thickness/nearest_vertex.h"

namespace verdask {

struct Measurement {
  Coord3 cortical;
  int corticalVertex;  // from 1: the vertex given in the table log
  Coord3 normal;
  Coord3 trabecular;
};

/// How the pass finds the two surface points of each mesh vertex; chosen
/// once per run. at() is called from several threads at once.
class Measure {
 public:
  virtual ~Measure() = default;
  /// Called once, after the log headers and before the first vertex.
  virtual void begin() const {}
  virtual Measurement at(const Coord3& meshVertex) const = 0;
};

/// Vertex to vertex: the nearest cortical vertex, and the trabecular vertex
/// nearest to that. The point sets, indexes and normals must outlive it.
class VertexMeasure : public Measure {
 public:
  VertexMeasure(const PointSet& cortical, const NearestVertex& corticalIndex, const Coord3* normals,
                const PointSet& trabecular, const NearestVertex& trabecularIndex);
  /// Fewer than kCandidateCount trabecular vertices end the run in the
  /// neighbour library, as a query for that many always did.
  void begin() const override;
  Measurement at(const Coord3& meshVertex) const override;

 private:
  const PointSet& cortical_;
  const NearestVertex& corticalIndex_;
  const Coord3* normals_;
  const PointSet& trabecular_;
  const NearestVertex& trabecularIndex_;
};

}  // namespace verdask
