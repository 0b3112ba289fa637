#include "thickness/profile_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace verdask {

namespace {

// Samples from -6 to 12 every 0.15, as the measure takes them; `noise` is a
// deterministic, zero-mean spread of that amplitude.
std::vector<float> profileOf(const StepModel& truth, double noise) {
  std::vector<float> values;
  uint32_t state = 12345;
  for (int k = 0; k <= 120; ++k) {
    state = state * 1664525u + 1013904223u;
    double jitter = noise * (2.0 * (state >> 8) / 16777216.0 - 1.0) * std::sqrt(3.0);
    values.push_back(static_cast<float>(stepModelAt(truth, -6 + 0.15 * k) + jitter));
  }
  return values;
}

struct FitCase {
  const char* name;
  StepModel truth;
  double noise;
  bool hold;  // sigma and the cortical density held at the truth's
  FitOutcome outcome;
  double thickness, tolerance;
};

TEST(FitProfile, RecoversTheCortexOfSyntheticProfiles) {
  const std::vector<FitCase> cases = {
      {"thick, held", {0.2, 3.0, 0, 1500, 200, 0.8}, 0, true, FitOutcome::kFitted, 3.0, 1e-4},
      {"thick, free", {0.2, 3.0, 0, 1500, 200, 0.8}, 0, false, FitOutcome::kFitted, 3.0, 1e-4},
      {"thinner than sigma, held",
       {-0.3, 0.4, 0, 1500, 200, 0.8},
       0,
       true,
       FitOutcome::kFitted,
       0.4,
       1e-4},
      {"thinner than a third of sigma, held",
       {0, 0.25, 50, 1500, 300, 1.0},
       0,
       true,
       FitOutcome::kFitted,
       0.25,
       1e-4},
      {"one sigma, noise 2 %",
       {0.1, 0.8, 0, 1500, 200, 0.8},
       30,
       true,
       FitOutcome::kFitted,
       0.8,
       0.06},
      {"thick, free, noise 2 %",
       {0, 2.5, 0, 1500, 200, 0.8},
       30,
       false,
       FitOutcome::kFitted,
       2.5,
       0.08},
      {"inside denser than the band",
       {0, 1.0, 0, 1500, 1800, 0.8},
       0,
       true,
       FitOutcome::kNoCortex,
       -1,
       0},
      {"flat: no edge", {0, 1.0, 100, 100, 100, 0.8}, 0, true, FitOutcome::kNoEdge, -1, 0},
  };
  for (const FitCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> values = profileOf(c.truth, c.noise);
    FitSettings settings;
    settings.maxThickness = 10;
    settings.holdSigma = settings.holdCortex = c.hold;
    settings.sigma = c.truth.sigma;
    settings.cortex = c.truth.cortex;
    FitResult fit = fitProfile(values.data(), static_cast<int>(values.size()), -6, 0.15, settings);
    EXPECT_EQ(fit.outcome, c.outcome);
    if (c.thickness < 0) continue;
    EXPECT_NEAR(fit.model.thickness, c.thickness, c.tolerance);
    EXPECT_NEAR(fit.model.x0, c.truth.x0, c.tolerance + c.noise / 300);
    if (c.noise == 0) {
      EXPECT_LT(fit.residual, 1e-2);
    }
    if (!c.hold) {
      EXPECT_NEAR(fit.model.sigma, c.truth.sigma, c.noise ? 0.05 : 1e-4);
    }
  }
}

TEST(FitProfile, StopsAtTheBoundOfTheThickness) {
  StepModel truth{0, 9.0, 0, 1500, 200, 0.8};
  std::vector<float> values = profileOf(truth, 0);
  FitSettings settings;
  settings.maxThickness = 4;
  settings.holdSigma = settings.holdCortex = true;
  settings.sigma = 0.8;
  settings.cortex = 1500;
  FitResult fit = fitProfile(values.data(), static_cast<int>(values.size()), -6, 0.15, settings);
  EXPECT_EQ(fit.outcome, FitOutcome::kAtBound);
  EXPECT_DOUBLE_EQ(fit.model.thickness, 4);
}

}  // namespace

}  // namespace verdask
