// Where a mesh vertex's thickness is measured: from a point of the cortical
// surface, along with its normal, to a point of the trabecular surface.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "input/point_set.h"
#include "thickness/closest_point.h"
#include "thickness/nearest_vertex.h"

namespace verdask {

/// What a measure fitting the CT image found at a node beyond the thickness:
/// the outer edge's offset inwards from p, the densities on either side of
/// the cortex and the fit's root mean square residual.
struct ProfileValues {
  double offset = 0, outside = 0, inside = 0, residual = 0;
};

/// Why a CT fit gave no thickness as defined; in the order of the qualities.
enum class ProfileFlag : char { kNone, kAtBound, kFitFailed, kNoCortex, kLeftImage };

struct Measurement {
  Coord3 cortical;
  int corticalVertex;  // from 1: the vertex given in the table log
  Coord3 normal;
  Coord3 trabecular;
  double thickness = -1;  // when not negative, the thickness; else |cortical - trabecular|
  bool fellBack = false;  // the measure could not be taken as defined: the closest point
  ProfileFlag profileFlag = ProfileFlag::kNone;
  ProfileValues profile{};
};

/// How the pass finds the two surface points of each mesh vertex; chosen
/// once per run. at() is called from several threads at once.
class Measure {
 public:
  virtual ~Measure() = default;
  virtual Measurement at(const Coord3& meshVertex) const = 0;
};

/// A surface as the measures use it; everything must outlive them.
struct IndexedSurface {
  const PointSet* points;
  const NearestVertex* vertices;              // in surface mode, only where no triangle has an area
  const std::vector<int>* corners = nullptr;  // from 0, three per triangle: surface mode
  const ClosestPoint* triangles = nullptr;    // over those corners: surface mode
};

/// The point of `surface` closest to p: on its triangles, or its nearest
/// vertex where it has no triangles with an area.
Coord3 closestPointOn(const IndexedSurface& surface, const Coord3& p);

/// The distance from each of up to `most` mesh vertices, evenly spread, to `surface`.
std::vector<double> distancesTo(const PointSet& mesh, const IndexedSurface& surface, int most,
                                int threads);

/// Vertex to vertex: the nearest cortical vertex, and the trabecular vertex
/// nearest to that.
class VertexMeasure : public Measure {
 public:
  VertexMeasure(const IndexedSurface& cortical, const Coord3* normals,
                const IndexedSurface& trabecular);
  Measurement at(const Coord3& meshVertex) const override;

 private:
  IndexedSurface cortical_, trabecular_;
  const Coord3* normals_;
};

/// Point to triangles: p, the point of the cortical triangles closest to the
/// mesh vertex, with the normal interpolated at p from its triangle's
/// corners, and the point of the trabecular triangles closest to p.
class SurfaceMeasure : public Measure {
 public:
  SurfaceMeasure(const IndexedSurface& cortical, const Coord3* normals,
                 const IndexedSurface& trabecular);
  Measurement at(const Coord3& meshVertex) const override;

 protected:
  /// p, its normal and table node; the trabecular point is left to the caller.
  Measurement corticalPoint(const Coord3& meshVertex) const;
  IndexedSurface cortical_, trabecular_;
  const Coord3* normals_;
};

/// Along the normal: from p, a ray along the inward normal to its first hit
/// of the trabecular triangles. Where it hits nothing within `reach`, or
/// further than kGrazingFactor times the closest trabecular point, that
/// closest point is taken and the node flagged.
class NormalMeasure : public SurfaceMeasure {
 public:
  static constexpr double kGrazingFactor = 3.0;
  NormalMeasure(const IndexedSurface& cortical, const Coord3* normals,
                const IndexedSurface& trabecular, double reach);
  Measurement at(const Coord3& meshVertex) const override;

 private:
  double reach_;
};

/// Symmetric: the mean of |p - q|, q the trabecular point closest to p, and
/// of the distance from q back to the cortical triangles; the angle is p's to q.
class SymmetricMeasure : public SurfaceMeasure {
 public:
  using SurfaceMeasure::SurfaceMeasure;
  Measurement at(const Coord3& meshVertex) const override;
};

struct Volume;
struct CtOptions;

/// What a measure is made from; everything must outlive it.
struct MeasureInputs {
  IndexedSurface cortical;
  const Coord3* normals;  // one per cortical vertex
  IndexedSurface trabecular;
  double reach;                    // -max: how far along the normal a hit still counts
  const Volume* volume = nullptr;  // the CT image, for the measure from it
  const CtOptions* ct = nullptr;
};

/// A measure by its name on the command line, as the table of measures holds it.
struct MeasureKind {
  const char* name;
  bool toTriangles;  // reads the surfaces' triangles
  bool fromImage;    // fits profiles of the CT image (-ct)
  std::unique_ptr<Measure> (*make)(const MeasureInputs& inputs);
};

/// The measure from the CT image (thickness/ct_measure.h).
std::unique_ptr<Measure> makeCtMeasure(const MeasureInputs& inputs);

/// Every measure, the default first, in the order the command line lists them.
extern const MeasureKind kMeasureKinds[];
extern const int kMeasureKindCount;

/// The measure of that name; null for a name that is none.
const MeasureKind* measureKindNamed(const std::string& name);

/// The names as a usage line lists them: "vertex, surface, normal or symmetric".
std::string measureNamesListed();

/// The barycentric weights of p, a point of triangle abc; a degenerate
/// triangle gives all weight to its corner nearest p.
void barycentricWeights(const Coord3& p, const Coord3& a, const Coord3& b, const Coord3& c,
                        double weights[3]);

}  // namespace verdask
