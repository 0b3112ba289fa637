// The cortex as a CT scanner sees it: a band of density y1 between x0 and
// x1 along the inward normal, y0 outside it and y2 inside, blurred by a
// Gaussian of width sigma; fitted to the image sampled along the normal.
#pragma once

namespace verdask {

/// The blurred-step model; x grows inwards, from the cortical point at 0.
struct StepModel {
  double x0 = 0, thickness = 0;  // the cortex spans x0 to x0 + thickness
  double outside = 0, cortex = 0, inside = 0;
  double sigma = 1;
};

/// The model's density at x.
double stepModelAt(const StepModel& model, double x);

/// Which values a fit holds at the scan's own and which it frees.
struct FitSettings {
  double maxThickness = 20;  // the fit's bound on the thickness
  double edgeReach = 3;      // the outer edge is looked for this far on either side of 0
  bool holdSigma = false, holdCortex = false;
  double sigma = 1, cortex = 0;  // the held values
};

enum class FitOutcome : char {
  kFitted,
  kAtBound,   // the thickness stopped at 0 or at the maximum
  kFailed,    // the fit did not come to a finite answer
  kNoCortex,  // the band is not denser than both sides
  kNoEdge,    // no rising edge near the cortical point: nothing to fit
};

struct FitResult {
  StepModel model;
  double residual = 0;  // root mean square, over the samples fitted
  FitOutcome outcome = FitOutcome::kFailed;
};

/// Fits the model to `count` samples, sample k at start + k * step, by
/// Levenberg-Marquardt from the best of a few starts placed by the profile's
/// edges; the held values stay as given.
FitResult fitProfile(const float* values, int count, double start, double step,
                     const FitSettings& settings);

}  // namespace verdask
