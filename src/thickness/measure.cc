#include "thickness/measure.h"

#include <algorithm>
#include <optional>

#include "base/parallel.h"
#include "thickness/thickness.h"

namespace verdask {

namespace {

// Which of the three corners lies nearest p (0 to 2); the first of equals.
int nearestCorner(const Coord3& p, const Coord3& a, const Coord3& b, const Coord3& c) {
  const Coord3* corners[3] = {&a, &b, &c};
  int best = 0;
  double bestDistance = 0;
  for (int k = 0; k < 3; ++k) {
    Coord3 d = difference(p, *corners[k]);
    double distance = dotProduct(d, d);
    if (k == 0 || distance < bestDistance) {
      best = k;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace

void barycentricWeights(const Coord3& p, const Coord3& a, const Coord3& b, const Coord3& c,
                        double weights[3]) {
  Coord3 ab = difference(b, a), ac = difference(c, a), ap = difference(p, a);
  double d00 = dotProduct(ab, ab), d01 = dotProduct(ab, ac), d11 = dotProduct(ac, ac);
  double d20 = dotProduct(ap, ab), d21 = dotProduct(ap, ac);
  double denominator = d00 * d11 - d01 * d01;
  if (!(denominator > 0)) {
    int best = nearestCorner(p, a, b, c);
    for (int k = 0; k < 3; ++k) weights[k] = k == best;
    return;
  }
  weights[1] = (d11 * d20 - d01 * d21) / denominator;
  weights[2] = (d00 * d21 - d01 * d20) / denominator;
  weights[0] = 1.0 - weights[1] - weights[2];
}

VertexMeasure::VertexMeasure(const IndexedSurface& cortical, const Coord3* normals,
                             const IndexedSurface& trabecular)
    : cortical_(cortical), trabecular_(trabecular), normals_(normals) {}

Measurement VertexMeasure::at(const Coord3& meshVertex) const {
  int c = cortical_.vertices->nearest(&meshVertex.x);
  const Coord3& p = cortical_.points->point(c);
  int t = trabecular_.vertices->nearest(&p.x);
  return {p, c + 1, normals_[c], trabecular_.points->point(t)};
}

SurfaceMeasure::SurfaceMeasure(const IndexedSurface& cortical, const Coord3* normals,
                               const IndexedSurface& trabecular)
    : cortical_(cortical), trabecular_(trabecular), normals_(normals) {}

Measurement SurfaceMeasure::corticalPoint(const Coord3& meshVertex) const {
  Measurement m;
  if (cortical_.triangles->empty()) {
    // No triangle with an area: the nearest vertex, as the vertex mode takes it.
    int c = cortical_.vertices->nearest(&meshVertex.x);
    m.cortical = cortical_.points->point(c);
    m.corticalVertex = c + 1;
    m.normal = normals_[c];
    return m;
  }
  ClosestPoint::Hit p = cortical_.triangles->closest(meshVertex);
  const int* corners = &(*cortical_.corners)[3 * static_cast<size_t>(p.triangle)];
  const Coord3 &a = cortical_.points->point(corners[0]), &b = cortical_.points->point(corners[1]),
               &c = cortical_.points->point(corners[2]);
  double w[3];
  barycentricWeights(p.point, a, b, c, w);
  const Coord3 *na = &normals_[corners[0]], *nb = &normals_[corners[1]],
               *nc = &normals_[corners[2]];
  m.cortical = p.point;
  m.corticalVertex = corners[nearestCorner(p.point, a, b, c)] + 1;
  m.normal = {w[0] * na->x + w[1] * nb->x + w[2] * nc->x,
              w[0] * na->y + w[1] * nb->y + w[2] * nc->y,
              w[0] * na->z + w[1] * nb->z + w[2] * nc->z};
  return m;
}

Coord3 closestPointOn(const IndexedSurface& surface, const Coord3& p) {
  if (!surface.triangles || surface.triangles->empty()) {
    return surface.points->point(surface.vertices->nearest(&p.x));
  }
  return surface.triangles->closest(p).point;
}

std::vector<double> distancesTo(const PointSet& mesh, const IndexedSurface& surface, int most,
                                int threads) {
  int step = std::max(1, mesh.count() / std::max(1, most));
  std::vector<double> distances((mesh.count() + step - 1) / step);
  runInRanges(threads, static_cast<int>(distances.size()), [&](int begin, int end) {
    for (int k = begin; k < end; ++k) {
      const Coord3& m = mesh.point(k * step);
      distances[k] = vectorLength(difference(closestPointOn(surface, m), m));
    }
  });
  return distances;
}

Measurement SurfaceMeasure::at(const Coord3& meshVertex) const {
  Measurement m = corticalPoint(meshVertex);
  m.trabecular = closestPointOn(trabecular_, m.cortical);
  return m;
}

NormalMeasure::NormalMeasure(const IndexedSurface& cortical, const Coord3* normals,
                             const IndexedSurface& trabecular, double reach)
    : SurfaceMeasure(cortical, normals, trabecular), reach_(reach) {}

Measurement NormalMeasure::at(const Coord3& meshVertex) const {
  Measurement m = corticalPoint(meshVertex);
  Coord3 closest = closestPointOn(trabecular_, m.cortical);
  double closestDistance = vectorLength(difference(m.cortical, closest));
  Coord3 inward{-m.normal.x, -m.normal.y, -m.normal.z};
  std::optional<Coord3> hit;
  if (!trabecular_.triangles->empty()) hit = trabecular_.triangles->firstHit(m.cortical, inward);
  double distance = hit ? vectorLength(difference(*hit, m.cortical)) : 0;
  if (hit && distance <= reach_ && distance <= kGrazingFactor * closestDistance) {
    m.trabecular = *hit;
  } else {
    m.trabecular = closest;
    m.fellBack = true;
  }
  return m;
}

Measurement SymmetricMeasure::at(const Coord3& meshVertex) const {
  Measurement m = corticalPoint(meshVertex);
  m.trabecular = closestPointOn(trabecular_, m.cortical);
  Coord3 back = closestPointOn(cortical_, m.trabecular);
  m.thickness = (vectorLength(difference(m.cortical, m.trabecular)) +
                 vectorLength(difference(m.trabecular, back))) /
                2;
  return m;
}

namespace {

template <typename Kind>
std::unique_ptr<Measure> make(const MeasureInputs& in) {
  return std::make_unique<Kind>(in.cortical, in.normals, in.trabecular);
}

std::unique_ptr<Measure> makeNormal(const MeasureInputs& in) {
  return std::make_unique<NormalMeasure>(in.cortical, in.normals, in.trabecular, in.reach);
}

}  // namespace

const MeasureKind kMeasureKinds[] = {
    {"vertex", false, false, make<VertexMeasure>},
    {"surface", true, false, make<SurfaceMeasure>},
    {"normal", true, false, makeNormal},
    {"symmetric", true, false, make<SymmetricMeasure>},
    {"ct", true, true, makeCtMeasure},
};
const int kMeasureKindCount = sizeof kMeasureKinds / sizeof kMeasureKinds[0];

const MeasureKind* measureKindNamed(const std::string& name) {
  for (const MeasureKind& kind : kMeasureKinds) {
    if (name == kind.name) return &kind;
  }
  return nullptr;
}

std::string measureNamesListed() {
  std::string list;
  for (int k = 0; k < kMeasureKindCount; ++k) {
    list += k == 0 ? "" : k + 1 == kMeasureKindCount ? " or " : ", ";
    list += kMeasureKinds[k].name;
  }
  return list;
}

}  // namespace verdask
