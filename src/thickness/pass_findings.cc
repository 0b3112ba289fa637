#include "thickness/pass_findings.h"

#include <cmath>

namespace verdask {

PassFindings judgePass(const PassRecord& record, const float* thickness, const PointSet& mesh,
                       const IndexedSurface& cortical, const IndexedSurface& trabecular,
                       bool toTriangles, int threads) {
  PassFindings found;
  found.lineUp = lineUpOf(record.meshToCortical);
  double spacing = toTriangles ? 0 : cortical.vertices->typicalSpacing();
  LineUpFinding lineUp = lineUpFinding(
      found.lineUp, medianThickness(thickness, mesh.count()), spacing, mesh, *cortical.points, [&] {
        constexpr int kSampled = 20000;  // enough to tell, on the failure path alone
        // Without a trabecular surface the mesh cannot lie on it.
        if (trabecular.points->count() == 0) return std::vector<double>{HUGE_VAL};
        return distancesTo(mesh, trabecular, kSampled, threads);
      });
  std::string obtuse = swappedSurfacesWarning(record, mesh.count());
  if (lineUp.plain) found.plain = lineUp.text;
  if (!obtuse.empty()) found.deckPlain = obtuse + ", and -inp and -deck face the elements by them";
  found.warnings.push_back(obtuse);
  for (const auto& [surface, name] :
       {std::pair{&cortical, "cortical"}, {&trabecular, "trabecular"}}) {
    if (surface->triangles && surface->triangles->empty()) {
      found.warnings.push_back(std::string("no triangle of the ") + name +
                               " surface has an area: its thickness is measured to its vertices");
    }
  }
  found.warnings.push_back(lineUp.text);
  return found;
}

}  // namespace verdask
