#include "thickness/ct_measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <tuple>
#include <utility>

#include "base/parallel.h"
#include "thickness/thickness.h"

namespace verdask {

namespace {

// A profile has an edge where the density rises, over 2 mm about p, by this
// fraction of the image's contrast.
constexpr double kEdgeFraction = 0.1;
// The blur and the density are estimated where the free fit finds the cortex
// at least this many blur widths thick, and from at least this many sites.
constexpr double kThickSigmas = 3.0;
constexpr int kLeastSites = 10;

// The median of the 99.5th percentile and of the middle of the voxels, over
// up to a million of them evenly spread: bone against what lies around it.
double contrastOf(const Volume& volume) {
  size_t count = volume.voxelCount(), stride = std::max<size_t>(1, count / 1000000);
  std::vector<float> sample;
  for (size_t i = 0; i < count; i += stride) sample.push_back(volume.voxels[i]);
  auto at = [&](double fraction) {
    auto nth = sample.begin() + static_cast<size_t>(fraction * (sample.size() - 1));
    std::nth_element(sample.begin(), nth, sample.end());
    return static_cast<double>(*nth);
  };
  double middle = at(0.5);
  return at(0.995) - middle;
}

// The point near `start` where f is least, by the Nelder-Mead simplex over
// at most `evaluations` values of f, each coordinate first stepped by 5 %.
std::vector<double> simplexMinimum(std::vector<double> start, int evaluations,
                                   const std::function<double(const std::vector<double>&)>& f) {
  size_t n = start.size();
  std::vector<std::vector<double>> points(n + 1, start);
  for (size_t i = 0; i < n; ++i) points[i + 1][i] *= 1.05;
  std::vector<double> values;
  for (const auto& point : points) values.push_back(f(point));
  int used = static_cast<int>(n + 1);
  auto along = [&](const std::vector<double>& from, const std::vector<double>& to, double t) {
    std::vector<double> point(n);
    for (size_t i = 0; i < n; ++i) point[i] = from[i] + t * (to[i] - from[i]);
    return point;
  };
  while (used < evaluations) {
    std::vector<size_t> order(n + 1);
    for (size_t i = 0; i <= n; ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return values[a] < values[b]; });
    size_t best = order[0], worst = order[n], next = order[n - 1];
    std::vector<double> centre(n, 0.0);
    for (size_t k : order) {
      if (k == worst) continue;
      for (size_t i = 0; i < n; ++i) centre[i] += points[k][i] / n;
    }
    std::vector<double> reflected = along(points[worst], centre, 2);
    double value = f(reflected);
    ++used;
    if (value < values[best]) {
      std::vector<double> expanded = along(points[worst], centre, 3);
      double further = f(expanded);
      ++used;
      if (further < value) reflected = expanded, value = further;
    } else if (!(value < values[next])) {
      reflected = along(points[worst], centre, 0.5);
      value = f(reflected);
      ++used;
    }
    points[worst] = reflected;
    values[worst] = value;
  }
  return points[std::min_element(values.begin(), values.end()) - values.begin()];
}

double medianOf(std::vector<double> values) {
  auto middle = values.begin() + (values.size() - 1) / 2;
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

Coord3 inFrame(const Coord3& v, CtFrame frame) {
  return frame == CtFrame::kRas ? Coord3{-v.x, -v.y, v.z} : v;
}

const char* frameName(CtFrame frame) { return frame == CtFrame::kRas ? "RAS" : "LPS"; }

}  // namespace

VolumeSampler::VolumeSampler(const Volume& volume) : volume_(&volume) {
  double m[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) m[r][c] = volume.direction[r][c] * volume.spacing[c];
  }
  double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      // The inverse by cofactors: entry (r, c) is the cofactor of (c, r) over the determinant.
      int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      toIndex_[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
    }
  }
}

bool VolumeSampler::at(const Coord3& p, float* value) const {
  const Volume& v = *volume_;
  double offset[3] = {p.x - v.origin[0], p.y - v.origin[1], p.z - v.origin[2]};
  double index[3];
  long long base[3];
  double weight[3];
  for (int r = 0; r < 3; ++r) {
    index[r] = toIndex_[r][0] * offset[0] + toIndex_[r][1] * offset[1] + toIndex_[r][2] * offset[2];
    if (!(index[r] >= 0 && index[r] <= v.size[r] - 1)) return false;
    base[r] = std::min(static_cast<long long>(index[r]), v.size[r] - 2);
    weight[r] = index[r] - base[r];
  }
  long long row = v.size[0], slice = v.size[0] * v.size[1];
  const float* corner = v.voxels.get() + base[0] + row * base[1] + slice * base[2];
  double sum = 0;
  for (int k = 0; k < 2; ++k) {
    for (int j = 0; j < 2; ++j) {
      const float* line = corner + k * slice + j * row;
      double along = line[0] + weight[0] * (line[1] - line[0]);
      sum += (k ? weight[2] : 1 - weight[2]) * (j ? weight[1] : 1 - weight[1]) * along;
    }
  }
  *value = static_cast<float>(sum);
  return true;
}

// The image along the inward normal, from outside_ outside p by step_; the
// samples before the first that falls outside the image are valid.
struct CtMeasure::Profile {
  std::vector<float> values;
  int valid = 0;
  bool directed = false;   // the normal has a direction
  Coord3 inward{0, 0, 0};  // in the surfaces' frame
};

// A node sampled to check the image and estimate the scan-wide values.
struct CtMeasure::Site {
  bool inImage = false, edge = false;
  FitResult fit;
  std::vector<float> values;  // the profile, when fitted
};

CtMeasure::CtMeasure(const IndexedSurface& cortical, const Coord3* normals,
                     const IndexedSurface& trabecular, const Volume& volume,
                     const CtOptions& options)
    : SurfaceMeasure(cortical, normals, trabecular),
      volume_(volume),
      sampler_(volume),
      options_(options) {
  calibration_.sigma = options.sigma;
  calibration_.cortex = options.cortex;
}

void CtMeasure::setSpan(double blur) {
  step_ = *std::min_element(volume_.spacing, volume_.spacing + 3) / 3;
  outside_ = kOutside + 3 * blur;
  reach_ = 1.5 + 1.5 * blur;
  double inside = options_.maxThick + 3 * blur + 2;
  count_ = static_cast<int>((outside_ + inside) / step_) + 1;
  needed_ = std::min(count_, static_cast<int>((outside_ + 2 + 3 * blur) / step_) + 1);
}

CtMeasure::Profile CtMeasure::profileAt(const Measurement& m, CtFrame frame) const {
  Profile profile;
  double length = vectorLength(m.normal);
  if (!(length > 0)) return profile;
  profile.directed = true;
  profile.inward = {-m.normal.x / length, -m.normal.y / length, -m.normal.z / length};
  Coord3 p = inFrame(m.cortical, frame), inward = inFrame(profile.inward, frame);
  profile.values.resize(count_);
  for (; profile.valid < count_; ++profile.valid) {
    double x = -outside_ + profile.valid * step_;
    Coord3 at{p.x + x * inward.x, p.y + x * inward.y, p.z + x * inward.z};
    if (!sampler_.at(at, &profile.values[profile.valid])) break;
  }
  return profile;
}

bool CtMeasure::hasEdge(const Profile& profile) const {
  int half = std::max(1, static_cast<int>(std::lround(1.0 / step_)));
  int zero = static_cast<int>(std::lround(outside_ / step_));
  int reach = static_cast<int>(std::lround(reach_ / step_));
  double rise = -HUGE_VAL;
  for (int k = std::max(half, zero - reach); k <= zero + reach && k + half < profile.valid; ++k) {
    rise = std::max<double>(rise, profile.values[k + half] - profile.values[k - half]);
  }
  return rise >= kEdgeFraction * calibration_.contrast;
}

CtMeasure::Site CtMeasure::siteAt(const Coord3& meshVertex, CtFrame frame, bool fit) const {
  Site site;
  Profile profile = profileAt(corticalPoint(meshVertex), frame);
  site.inImage = profile.valid >= needed_;
  site.edge = site.inImage && hasEdge(profile);
  if (!fit || !site.edge) return site;
  FitSettings settings = heldSettings();
  settings.holdSigma = options_.sigma > 0;
  settings.holdCortex = options_.cortex > 0;
  site.fit = fitProfile(profile.values.data(), profile.valid, -outside_, step_, settings);
  profile.values.resize(profile.valid);
  site.values = std::move(profile.values);
  return site;
}

FitSettings CtMeasure::heldSettings() const {
  FitSettings settings;
  settings.maxThickness = options_.maxThick;
  settings.edgeReach = reach_;
  settings.holdSigma = settings.holdCortex = true;
  settings.sigma = calibration_.sigma;
  settings.cortex = calibration_.cortex;
  return settings;
}

Measurement CtMeasure::at(const Coord3& meshVertex) const {
  Measurement m = corticalPoint(meshVertex);
  m.trabecular = m.cortical;
  m.thickness = 0;
  Profile profile = profileAt(m, options_.frame);
  if (!profile.directed) {
    m.profileFlag = ProfileFlag::kFitFailed;
    return m;
  }
  if (profile.valid < needed_ || !hasEdge(profile)) {
    m.profileFlag = profile.valid < needed_ ? ProfileFlag::kLeftImage : ProfileFlag::kNoCortex;
    return m;
  }
  FitResult fit =
      fitProfile(profile.values.data(), profile.valid, -outside_, step_, heldSettings());
  const StepModel& model = fit.model;
  m.profile = {model.x0, model.outside, model.inside, fit.residual};
  double lastValid = -outside_ + (profile.valid - 1) * step_;
  bool cut = profile.valid < count_ && model.x0 + model.thickness + 3 * model.sigma > lastValid;
  m.profileFlag = cut                                   ? ProfileFlag::kLeftImage
                  : fit.outcome == FitOutcome::kFailed  ? ProfileFlag::kFitFailed
                  : fit.outcome == FitOutcome::kAtBound ? ProfileFlag::kAtBound
                  : fit.outcome != FitOutcome::kFitted  ? ProfileFlag::kNoCortex
                                                        : ProfileFlag::kNone;
  if (m.profileFlag == ProfileFlag::kNone || m.profileFlag == ProfileFlag::kAtBound) {
    m.thickness = model.thickness;
    const Coord3& n = profile.inward;
    m.trabecular = {m.cortical.x + model.thickness * n.x, m.cortical.y + model.thickness * n.y,
                    m.cortical.z + model.thickness * n.z};
  }
  return m;
}

std::vector<CtMeasure::Site> CtMeasure::sitesOf(const PointSet& mesh, int most, CtFrame frame,
                                                bool fit, int threads) const {
  int stride = std::max(1, mesh.count() / std::max(1, most));
  std::vector<Site> sites((mesh.count() + stride - 1) / stride);
  runInRanges(threads, static_cast<int>(sites.size()), [&](int begin, int end) {
    for (int k = begin; k < end; ++k) sites[k] = siteAt(mesh.point(k * stride), frame, fit);
  });
  return sites;
}

// Whether most sites are out of the image, or most in it have no edge near p.
std::string CtMeasure::misfit(const std::vector<Site>& sites, bool* covered) const {
  int outside = 0, edgeless = 0, total = static_cast<int>(sites.size());
  for (const Site& site : sites) {
    outside += !site.inImage;
    edgeless += site.inImage && !site.edge;
  }
  char text[200];
  *covered = 2 * outside <= total;
  if (!*covered) {
    snprintf(text, sizeof text,
             "the image does not cover the mesh: the profiles of %d of %d nodes sampled leave it",
             outside, total);
    return text;
  }
  if (2 * edgeless <= total - outside) return "";
  snprintf(text, sizeof text,
           "the cortical surface does not sit on the image's edges: %d of %d profiles sampled "
           "have none within %.1f mm of it",
           edgeless, total - outside, reach_);
  return text;
}

CtVerdict CtMeasure::calibrate(const PointSet& mesh, int most, int threads) {
  CtVerdict verdict;
  calibration_.contrast = contrastOf(volume_);
  double largest = *std::max_element(volume_.spacing, volume_.spacing + 3);
  // A scanner blurs about as wide as its voxels, until the blur is known.
  setSpan(options_.sigma > 0 ? options_.sigma : 1.5 * largest);
  bool estimating = !(options_.sigma > 0 && options_.cortex > 0);
  std::vector<Site> sites = sitesOf(mesh, most, options_.frame, estimating, threads);
  calibration_.sampled = static_cast<int>(sites.size());
  bool covered;
  std::string trouble = misfit(sites, &covered);
  if (!trouble.empty()) {
    CtFrame other = options_.frame == CtFrame::kLps ? CtFrame::kRas : CtFrame::kLps;
    bool otherCovered;
    bool fits = misfit(sitesOf(mesh, most, other, false, threads), &otherCovered).empty();
    trouble += fits ? std::string(": in the ") + frameName(other) +
                          " frame it does, give -ct-frame " +
                          (other == CtFrame::kRas ? "ras" : "lps")
                    : std::string(", nor in the ") + frameName(other) +
                          " frame: are the surfaces from this scan?";
    (covered ? verdict.finding : verdict.failure) = trouble;
    return verdict;
  }
  if (estimating) verdict.failure = estimate(sites, threads);
  setSpan(calibration_.sigma);
  return verdict;
}

double CtMeasure::residualOf(const std::vector<const Site*>& sites, double sigma, double cortex,
                             int threads) const {
  FitSettings settings = heldSettings();
  settings.sigma = sigma;
  settings.cortex = cortex;
  std::vector<double> squares(sites.size());
  runInRanges(threads, static_cast<int>(sites.size()), [&](int begin, int end) {
    for (int k = begin; k < end; ++k) {
      const std::vector<float>& v = sites[k]->values;
      FitResult fit = fitProfile(v.data(), static_cast<int>(v.size()), -outside_, step_, settings);
      squares[k] = std::isfinite(fit.residual) ? fit.residual * fit.residual : 0;
    }
  });
  double sum = 0;
  for (double square : squares) sum += square;
  return sum;
}

void CtMeasure::refine(const std::vector<Site>& sites, int threads) {
  constexpr int kMostSites = 200, kEvaluations = 40;
  std::vector<const Site*> used;
  for (const Site& site : sites) {
    if (site.edge) used.push_back(&site);
  }
  size_t stride = std::max<size_t>(1, used.size() / kMostSites);
  std::vector<const Site*> spread;
  for (size_t k = 0; k < used.size(); k += stride) spread.push_back(used[k]);
  // Relative to the medians, what is estimated; what is given stays.
  double sigma = calibration_.sigma, cortex = calibration_.cortex;
  bool bySigma = calibration_.sigmaEstimated, byCortex = calibration_.cortexEstimated;
  auto valuesOf = [&](const std::vector<double>& x) {
    return std::pair{bySigma ? sigma * x[0] : sigma, byCortex ? cortex * x.back() : cortex};
  };
  std::vector<double> best = simplexMinimum(std::vector<double>(bySigma + byCortex, 1.0),
                                            kEvaluations, [&](const std::vector<double>& x) {
                                              auto [s, c] = valuesOf(x);
                                              return residualOf(spread, s, c, threads);
                                            });
  std::tie(calibration_.sigma, calibration_.cortex) = valuesOf(best);
}

std::string CtMeasure::estimate(const std::vector<Site>& sites, int threads) {
  std::vector<double> sigmas, densities;
  for (const Site& site : sites) {
    const StepModel& m = site.fit.model;
    if (site.edge && site.fit.outcome == FitOutcome::kFitted &&
        m.thickness >= kThickSigmas * m.sigma && m.thickness <= 0.9 * options_.maxThick) {
      sigmas.push_back(m.sigma);
      densities.push_back(m.cortex);
    }
  }
  calibration_.thickSites = static_cast<int>(sigmas.size());
  if (calibration_.thickSites < kLeastSites) {
    char text[300];
    snprintf(text, sizeof text,
             "cannot estimate the blur and the cortical density: %d of %d nodes sampled have a "
             "cortex thicker than %g blur widths, %d are needed: give -ct-sigma and -ct-cortex",
             calibration_.thickSites, calibration_.sampled, kThickSigmas, kLeastSites);
    return text;
  }
  calibration_.sigmaEstimated = !(options_.sigma > 0);
  calibration_.cortexEstimated = !(options_.cortex > 0);
  if (calibration_.sigmaEstimated) calibration_.sigma = medianOf(sigmas);
  if (calibration_.cortexEstimated) calibration_.cortex = medianOf(densities);
  refine(sites, threads);
  return "";
}

std::unique_ptr<Measure> makeCtMeasure(const MeasureInputs& in) {
  return std::make_unique<CtMeasure>(in.cortical, in.normals, in.trabecular, *in.volume, *in.ct);
}

}  // namespace verdask
