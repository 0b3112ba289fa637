#include "thickness/profile_fit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace verdask {

namespace {

enum Param { kX0, kThickness, kOutside, kCortex, kInside, kSigma, kParams };

constexpr double kInvSqrt2 = 0.70710678118654752;
constexpr double kInvSqrt2Pi = 0.39894228040143268;
// Beyond this many sigmas an edge is a step: its cumulative weight 0 or 1.
constexpr double kEdgeWidth = 8;
constexpr int kMostIterations = 60;

struct Edge {
  double cdf, pdf;
};

// The normal distribution's cdf and pdf at knots 1/32 apart, for cubic
// Hermite interpolation (the pdf is the cdf's slope, and -u pdf the pdf's):
// within 1e-8 of erfc and exp, at a tenth of their cost.
constexpr int kKnotsPerUnit = 32;
constexpr int kKnots = 2 * static_cast<int>(kEdgeWidth) * kKnotsPerUnit + 1;

struct EdgeTable {
  double cdf[kKnots], pdf[kKnots];
  EdgeTable() {
    for (int k = 0; k < kKnots; ++k) {
      double u = -kEdgeWidth + static_cast<double>(k) / kKnotsPerUnit;
      cdf[k] = 0.5 * std::erfc(-u * kInvSqrt2);
      pdf[k] = kInvSqrt2Pi * std::exp(-0.5 * u * u);
    }
  }
};

const EdgeTable& edgeTable() {
  static const EdgeTable table;
  return table;
}

Edge edgeAt(double u) {
  if (!(u < kEdgeWidth)) return {1, 0};
  if (!(u > -kEdgeWidth)) return {0, 0};
  const EdgeTable& table = edgeTable();
  double position = (u + kEdgeWidth) * kKnotsPerUnit;
  int k = std::min(static_cast<int>(position), kKnots - 2);
  double t = position - k, h = 1.0 / kKnotsPerUnit;
  double h00 = (1 + 2 * t) * (1 - t) * (1 - t), h10 = t * (1 - t) * (1 - t);
  double h01 = t * t * (3 - 2 * t), h11 = t * t * (t - 1);
  double u0 = -kEdgeWidth + k * h, u1 = u0 + h;
  double p0 = table.pdf[k], p1 = table.pdf[k + 1];
  return {h00 * table.cdf[k] + h * h10 * p0 + h01 * table.cdf[k + 1] + h * h11 * p1,
          h00 * p0 - h * h10 * u0 * p0 + h01 * p1 - h * h11 * u1 * p1};
}

StepModel modelOf(const double* p) {
  return {p[kX0], p[kThickness], p[kOutside], p[kCortex], p[kInside], p[kSigma]};
}

// The model's value at x and, where `gradient` is given, its derivative by each parameter.
double evaluate(const double* p, double x, double* gradient) {
  double sigma = p[kSigma], rise = p[kCortex] - p[kOutside], fall = p[kInside] - p[kCortex];
  double u0 = (x - p[kX0]) / sigma, u1 = (x - p[kX0] - p[kThickness]) / sigma;
  Edge e0 = edgeAt(u0), e1 = edgeAt(u1);
  if (gradient) {
    gradient[kThickness] = -fall * e1.pdf / sigma;
    gradient[kX0] = -rise * e0.pdf / sigma + gradient[kThickness];
    gradient[kOutside] = 1 - e0.cdf;
    gradient[kCortex] = e0.cdf - e1.cdf;
    gradient[kInside] = e1.cdf;
    gradient[kSigma] = -(rise * e0.pdf * u0 + fall * e1.pdf * u1) / sigma;
  }
  return p[kOutside] + rise * e0.cdf + fall * e1.cdf;
}

// Solves the symmetric positive definite system a x = b of n unknowns in
// place (b becomes x) by Cholesky; false when a is not positive definite.
bool solveSymmetric(double a[kParams][kParams], double* b, int n) {
  for (int j = 0; j < n; ++j) {
    double d = a[j][j];
    for (int k = 0; k < j; ++k) d -= a[j][k] * a[j][k];
    if (!(d > 0)) return false;
    a[j][j] = std::sqrt(d);
    for (int i = j + 1; i < n; ++i) {
      double s = a[i][j];
      for (int k = 0; k < j; ++k) s -= a[i][k] * a[j][k];
      a[i][j] = s / a[j][j];
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < i; ++k) b[i] -= a[i][k] * b[k];
    b[i] /= a[i][i];
  }
  for (int i = n - 1; i >= 0; --i) {
    for (int k = i + 1; k < n; ++k) b[i] -= a[k][i] * b[k];
    b[i] /= a[i][i];
  }
  return true;
}

// The samples a fit sees, and which parameters it frees within what bounds.
struct Problem {
  const float* values;
  int count;
  double start, step;
  int free[kParams];  // the indices of the free parameters
  int freeCount = 0;
  double lower[kParams], upper[kParams];

  // J^T J and J^T r over the free parameters; the sum of squares.
  double normalEquations(const double* p, double a[kParams][kParams], double* g) const {
    for (int i = 0; i < freeCount; ++i) {
      g[i] = 0;
      for (int j = 0; j < freeCount; ++j) a[i][j] = 0;
    }
    double gradient[kParams], sum = 0;
    for (int k = 0; k < count; ++k) {
      double r = values[k] - evaluate(p, start + k * step, gradient);
      sum += r * r;
      for (int i = 0; i < freeCount; ++i) {
        double gi = gradient[free[i]];
        g[i] += gi * r;
        for (int j = 0; j <= i; ++j) a[i][j] += gi * gradient[free[j]];
      }
    }
    for (int i = 0; i < freeCount; ++i) {
      for (int j = 0; j < i; ++j) a[j][i] = a[i][j];
    }
    return sum;
  }

  // One damped step from p into `trial`, kept within the bounds; false when
  // the damped system cannot be solved.
  bool dampedStep(const double* p, double a[kParams][kParams], const double* g, double lambda,
                  double* trial) const {
    double m[kParams][kParams], delta[kParams];
    for (int i = 0; i < freeCount; ++i) {
      for (int j = 0; j < freeCount; ++j) m[i][j] = a[i][j];
      m[i][i] += lambda * (a[i][i] > 0 ? a[i][i] : 1);
      delta[i] = g[i];
    }
    if (!solveSymmetric(m, delta, freeCount)) return false;
    std::copy(p, p + kParams, trial);
    for (int i = 0; i < freeCount; ++i) {
      int q = free[i];
      trial[q] = std::clamp(p[q] + delta[i], lower[q], upper[q]);
    }
    return true;
  }

  // Levenberg-Marquardt from p; the sum of squares it ends at, not finite
  // when it failed. It stops once a step moves the edges by less than
  // kSettled. A trial's normal equations are taken with its sum of squares,
  // ready for the next step should it be kept.
  double minimize(double* p) const {
    constexpr double kSettled = 1e-3;  // mm
    double a[kParams][kParams], g[kParams], trial[kParams];
    double trialA[kParams][kParams], trialG[kParams];
    double best = normalEquations(p, a, g), lambda = 1e-3;
    for (int iteration = 0; iteration < kMostIterations && std::isfinite(best); ++iteration) {
      double value = best;
      while (lambda < 1e8) {
        value = dampedStep(p, a, g, lambda, trial) ? normalEquations(trial, trialA, trialG) : best;
        if (value < best) break;
        lambda *= 4;
      }
      if (!(value < best)) return best;
      double moved =
          std::max(std::fabs(trial[kX0] - p[kX0]), std::fabs(trial[kThickness] - p[kThickness]));
      best = value;
      std::copy(trial, trial + kParams, p);
      std::copy(&trialA[0][0], &trialA[0][0] + kParams * kParams, &a[0][0]);
      std::copy(trialG, trialG + kParams, g);
      lambda = std::max(lambda / 3, 1e-9);
      if (moved < kSettled) return best;
    }
    return best;
  }
};

// The densities (outside, cortex unless held, inside) that best fit the
// samples for the edges and sigma of p, set into p by linear least squares;
// the sum of squares, infinite when they cannot be told.
double fitDensities(const Problem& problem, bool holdCortex, double* p) {
  const int n = holdCortex ? 2 : 3;
  double a[kParams][kParams] = {}, b[kParams] = {}, targets = 0;
  for (int k = 0; k < problem.count; k += 2) {  // every other sample: enough to choose a start
    double x = problem.start + k * problem.step;
    Edge e0 = edgeAt((x - p[kX0]) / p[kSigma]);
    Edge e1 = edgeAt((x - p[kX0] - p[kThickness]) / p[kSigma]);
    double basis[3] = {1 - e0.cdf, e1.cdf, e0.cdf - e1.cdf};
    double target = problem.values[k] - (holdCortex ? p[kCortex] * basis[2] : 0);
    targets += target * target;
    for (int i = 0; i < n; ++i) {
      b[i] += basis[i] * target;
      for (int j = 0; j < n; ++j) a[i][j] += basis[i] * basis[j];
    }
  }
  double rhs[kParams];
  std::copy(b, b + n, rhs);
  if (!solveSymmetric(a, b, n)) return INFINITY;
  p[kOutside] = b[0];
  p[kInside] = b[1];
  if (!holdCortex) p[kCortex] = b[2];
  // At the least-squares solution the residual is what the fit leaves of the targets.
  double explained = 0;
  for (int i = 0; i < n; ++i) explained += rhs[i] * b[i];
  return targets - explained;
}

// Where the profile's edges lie: the strongest rise near 0, and the first
// clear fall inwards of it (or the last sample).
struct Edges {
  int rise = -1, fall = -1;
  double slope = 0;  // the rise's, in density per sample
};

Edges findEdges(const float* v, int count, double start, double step, double reach) {
  Edges edges;
  for (int k = 1; k + 1 < count; ++k) {
    double x = start + k * step, d = 0.5 * (v[k + 1] - v[k - 1]);
    if (std::fabs(x) <= reach && d > edges.slope) edges.rise = k, edges.slope = d;
  }
  if (edges.rise < 0) return edges;
  edges.fall = count - 1;
  double deepest = 0;
  for (int k = edges.rise + 1; k + 1 < count; ++k) {
    double d = 0.5 * (v[k + 1] - v[k - 1]);
    if (d < deepest) deepest = d, edges.fall = k;
    // The first clear fall ends the cortex: a later one is another wall's.
    if (deepest < -0.3 * edges.slope && d > 0.5 * deepest) break;
  }
  return edges;
}

double meanOf(const float* v, int from, int to) {
  from = std::max(from, 0);
  if (to <= from) return v[from];
  double sum = 0;
  for (int k = from; k < to; ++k) sum += v[k];
  return sum / (to - from);
}

// The first guess: edges, densities and sigma read off the profile.
void firstGuess(const float* v, int count, double step, const Edges& edges,
                const FitSettings& settings, double* p) {
  double peak = *std::max_element(v + edges.rise, v + edges.fall + 1);
  p[kOutside] = meanOf(v, 0, std::max(1, edges.rise - static_cast<int>(2 / step)));
  p[kCortex] = settings.holdCortex ? settings.cortex : peak;
  p[kInside] =
      meanOf(v, edges.fall + 1, std::min(count, edges.fall + 1 + static_cast<int>(2 / step)));
  // A blurred step of height h rises at most h / (sigma sqrt(2 pi)) per unit length.
  double guess = (peak - p[kOutside]) * kInvSqrt2Pi * step / edges.slope;
  p[kSigma] = settings.holdSigma ? settings.sigma : std::clamp(guess, step, 10.0);
}

}  // namespace

double stepModelAt(const StepModel& model, double x) {
  double p[kParams] = {model.x0,     model.thickness, model.outside,
                       model.cortex, model.inside,    model.sigma};
  return evaluate(p, x, nullptr);
}

namespace {

// The samples fitted, from a few sigmas outside the outer edge to a few past
// the inner one (further in lie marrow, trabecular bone and other walls, which
// the model has not), and which parameters are free within what bounds.
Problem problemOf(const float* values, int count, double start, double step, const Edges& edges,
                  const FitSettings& settings, double sigma) {
  int margin = static_cast<int>((3 * sigma + 1.5) / step);
  int first = std::max(0, edges.rise - margin), window = std::min(count, edges.fall + 1 + margin);
  Problem problem{values + first, window - first, start + first * step, step, {}, 0, {}, {}};
  double bounds[kParams][2] = {{problem.start, problem.start + (problem.count - 1) * step},
                               {0, settings.maxThickness},
                               {-HUGE_VAL, HUGE_VAL},
                               {-HUGE_VAL, HUGE_VAL},
                               {-HUGE_VAL, HUGE_VAL},
                               {0.25 * step, 10 * sigma + 1}};
  for (int q = 0; q < kParams; ++q) {
    problem.lower[q] = bounds[q][0];
    problem.upper[q] = bounds[q][1];
    bool held = (q == kSigma && settings.holdSigma) || (q == kCortex && settings.holdCortex);
    if (!held) problem.free[problem.freeCount++] = q;
  }
  return problem;
}

// Of starts from a sliver to the full width between the edges, centred on
// them, the one whose densities fit best, set into p; false when none fits.
bool chooseStart(const Problem& problem, const Edges& edges, double start, double step,
                 const FitSettings& settings, double* p) {
  double rise = start + edges.rise * step, fall = start + edges.fall * step;
  double width = std::max(fall - rise, step), centre = 0.5 * (rise + fall);
  double best = INFINITY, chosen[kParams];
  for (double fraction : {0.1, 0.45, 1.0}) {
    double trial[kParams];
    std::copy(p, p + kParams, trial);
    trial[kThickness] = std::min(fraction * width, settings.maxThickness);
    trial[kX0] = centre - 0.5 * trial[kThickness];
    double value = fitDensities(problem, settings.holdCortex, trial);
    if (value < best) best = value, std::copy(trial, trial + kParams, chosen);
  }
  if (!std::isfinite(best)) return false;
  std::copy(chosen, chosen + kParams, p);
  return true;
}

FitOutcome outcomeOf(const StepModel& m, const FitSettings& settings) {
  if (m.cortex <= m.inside || m.cortex <= m.outside) return FitOutcome::kNoCortex;
  bool bounded = m.thickness <= 1e-6 || m.thickness >= settings.maxThickness - 1e-6;
  return bounded ? FitOutcome::kAtBound : FitOutcome::kFitted;
}

}  // namespace

FitResult fitProfile(const float* values, int count, double start, double step,
                     const FitSettings& settings) {
  FitResult result;
  Edges edges = findEdges(values, count, start, step, settings.edgeReach);
  if (edges.rise < 0) {
    result.outcome = FitOutcome::kNoEdge;
    return result;
  }
  double p[kParams];
  firstGuess(values, count, step, edges, settings, p);
  Problem problem = problemOf(values, count, start, step, edges, settings, p[kSigma]);
  if (!chooseStart(problem, edges, start, step, settings, p)) return result;
  double sum = problem.minimize(p);
  result.model = modelOf(p);
  if (!std::isfinite(sum) || !std::isfinite(p[kX0] + p[kThickness] + p[kCortex])) return result;
  result.residual = std::sqrt(sum / problem.count);
  result.outcome = outcomeOf(result.model, settings);
  return result;
}

}  // namespace verdask
