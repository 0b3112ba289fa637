// What the pass tells of the inputs: whether the mesh lies on the cortical
// surface, whether the normals point into the bone, what was measured to
// vertices for want of triangles. The run and the module both report it.
#pragma once

#include <string>
#include <vector>

#include "thickness/line_up.h"
#include "thickness/measure.h"
#include "thickness/thickness_pass.h"

namespace verdask {

struct PassFindings {
  LineUp lineUp;
  std::string plain;      // the inputs do not fit together: refused unless forced
  std::string deckPlain;  // refused when a complete deck is asked for: its facing rests on them
  std::vector<std::string> warnings;  // in the order a run gives them; each may be empty
};

/// Judges a pass over `mesh` measured between `cortical` and `trabecular`
/// (no trabecular points: a measure without a trabecular surface).
PassFindings judgePass(const PassRecord& record, const float* thickness, const PointSet& mesh,
                       const IndexedSurface& cortical, const IndexedSurface& trabecular,
                       bool toTriangles, int threads);

}  // namespace verdask
