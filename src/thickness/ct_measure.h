// Thickness from the CT image itself: at each node the image is sampled
// along the inward normal at p and the blurred-step model fitted to it, with
// the scanner's blur and the cortical density held at scan-wide values.
#pragma once

#include <string>
#include <vector>

#include "input/volume.h"
#include "thickness/measure.h"
#include "thickness/profile_fit.h"

namespace verdask {

/// The frame the mesh and surfaces are in; the image is placed in LPS.
enum class CtFrame { kLps, kRas };

/// Trilinear samples of a volume at physical (LPS) points.
class VolumeSampler {
 public:
  explicit VolumeSampler(const Volume& volume);
  /// The density at p; false where p lies outside the voxel centres.
  bool at(const Coord3& p, float* value) const;

 private:
  const Volume* volume_;
  double toIndex_[3][3];  // physical offsets from the origin to voxel indices
};

struct CtOptions {
  CtFrame frame = CtFrame::kLps;
  double sigma = 0, cortex = 0;  // 0: estimated from the scan
  double maxThick = 20;
};

/// The scan-wide values the fits hold, and how they came about.
struct CtCalibration {
  double sigma = 0, cortex = 0;
  bool sigmaEstimated = false, cortexEstimated = false;
  int sampled = 0;      // nodes sampled to estimate and check
  int thickSites = 0;   // of them, those whose free fit found a thick cortex
  double contrast = 0;  // bone against the image's background, for telling an edge
};

/// What a calibration concluded: empty, a failure (the image cannot be used
/// with these surfaces) or a finding (they seem not to fit together).
struct CtVerdict {
  std::string failure, finding;
};

class CtMeasure : public SurfaceMeasure {
 public:
  /// The fit's profiles reach this far outside p, beyond the blur.
  static constexpr double kOutside = 3.0;
  CtMeasure(const IndexedSurface& cortical, const Coord3* normals, const IndexedSurface& trabecular,
            const Volume& volume, const CtOptions& options);
  /// Checks the image against the surfaces, and estimates the values not
  /// given, on up to `most` nodes spread over the mesh.
  CtVerdict calibrate(const PointSet& mesh, int most, int threads);
  const CtCalibration& calibration() const { return calibration_; }
  Measurement at(const Coord3& meshVertex) const override;

 private:
  struct Profile;
  struct Site;
  Profile profileAt(const Measurement& m, CtFrame frame) const;
  bool hasEdge(const Profile& profile) const;
  Site siteAt(const Coord3& meshVertex, CtFrame frame, bool fit) const;
  std::vector<Site> sitesOf(const PointSet& mesh, int most, CtFrame frame, bool fit,
                            int threads) const;
  std::string misfit(const std::vector<Site>& sites, bool* covered) const;
  FitSettings heldSettings() const;
  void setSpan(double blur);
  std::string estimate(const std::vector<Site>& sites, int threads);
  void refine(const std::vector<Site>& sites, int threads);
  double residualOf(const std::vector<const Site*>& sites, double sigma, double cortex,
                    int threads) const;

  const Volume& volume_;
  VolumeSampler sampler_;
  CtOptions options_;
  CtCalibration calibration_;
  // The profiles: from outside_ outside p by step_, count_ samples, of which
  // needed_ must lie in the image; the outer edge is looked for within reach_ of p.
  double outside_ = 0, step_ = 0, reach_ = 0;
  int count_ = 0, needed_ = 0;
};

}  // namespace verdask
