#include "thickness/mesh_maps.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "base/parallel.h"

namespace verdask {

namespace {

// An angle under about half a degree would give its opposite edge a weight
// that only slows the smoothing: its cotangent is held at this.
constexpr double kMostCotangent = 100.0;

// Each element's triangles, corners from 0: a quadrilateral cut along its first diagonal.
std::vector<int> trianglesOf(const ShellElements& elements) {
  std::vector<int> corners;
  corners.reserve(3 * static_cast<size_t>(elements.count()));
  for (int e = 0; e < elements.count(); ++e) {
    const int* c = elements.of(e);
    corners.insert(corners.end(), {c[0] - 1, c[1] - 1, c[2] - 1});
    if (!elements.isTriangle(e)) corners.insert(corners.end(), {c[0] - 1, c[2] - 1, c[3] - 1});
  }
  return corners;
}

// The cotangent of the angle at a between b and c; 0 where it has none.
double cotangentAt(const Coord3& a, const Coord3& b, const Coord3& c) {
  Coord3 u = difference(b, a), v = difference(c, a);
  double sine = vectorLength(crossProduct(u, v));
  if (!(sine > 0)) return 0;
  return std::clamp(dotProduct(u, v) / sine, -kMostCotangent, kMostCotangent);
}

// Merges each node's repeated neighbours, adding their weights (where there
// are any); a node's neighbours stay in the order first met.
void mergeRows(std::vector<int>& first, std::vector<int>& neighbours,
               std::vector<double>& weights) {
  std::vector<int> placeOf(first.size() - 1, -1);  // where a neighbour went, in its row
  bool weighted = !weights.empty();
  size_t kept = 0;
  for (size_t node = 0; node + 1 < first.size(); ++node) {
    int begin = first[node], end = first[node + 1];
    first[node] = static_cast<int>(kept);
    for (int k = begin; k < end; ++k) {
      int& place = placeOf[neighbours[k]];
      if (place >= first[node]) {
        if (weighted) weights[place] += weights[k];
        continue;
      }
      place = static_cast<int>(kept);
      neighbours[kept] = neighbours[k];
      if (weighted) weights[kept] = weights[k];
      ++kept;
    }
  }
  first.back() = static_cast<int>(kept);
  neighbours.resize(kept);
  neighbours.shrink_to_fit();
  if (weighted) {
    weights.resize(kept);
    weights.shrink_to_fit();
  }
}

// The median of values[0 .. count - 1], reordering them.
double medianOf(double* values, int count) {
  double* middle = values + count / 2;
  std::nth_element(values, middle, values + count);
  if (count % 2) return *middle;
  return (*middle + *std::max_element(values, middle)) / 2;
}

// The spread of a neighbourhood from its absolute deviations: the larger of
// 1.4826 times their median and 0.8694 times their 75th percentile, either the
// deviation of normal noise; the second stays where over half the values are one.
double spreadOf(std::vector<double>& deviations) {
  int count = static_cast<int>(deviations.size());
  double median = medianOf(deviations.data(), count);
  auto upper = deviations.begin() + (3 * count) / 4;
  std::nth_element(deviations.begin(), upper, deviations.end());
  return std::max(1.4826 * median, 0.8694 * *upper);
}

}  // namespace

MeshGraph::MeshGraph(const PointSet& nodes, const ShellElements& elements, bool weighted)
    : first_(nodes.count() + 1, 0), area_(nodes.count(), 0.0) {
  std::vector<int> corners = trianglesOf(elements);
  for (int corner : corners) first_[corner + 1] += 2;
  std::partial_sum(first_.begin(), first_.end(), first_.begin());
  std::vector<int> filled(first_.begin(), first_.end() - 1);
  neighbour_.resize(first_.back());
  if (weighted) weight_.resize(first_.back());
  for (size_t t = 0; t < corners.size(); t += 3) {
    const Coord3* p[3];
    for (int k = 0; k < 3; ++k) p[k] = &nodes.point(corners[t + k]);
    double area =
        weighted
            ? vectorLength(crossProduct(difference(*p[1], *p[0]), difference(*p[2], *p[0]))) / 2
            : 0;
    for (int k = 0; k < 3; ++k) {
      int a = corners[t + k], b = corners[t + (k + 1) % 3], c = corners[t + (k + 2) % 3];
      int ab = filled[a]++, ba = filled[b]++;
      neighbour_[ab] = b;
      neighbour_[ba] = a;
      if (!weighted) continue;
      // Edge ab, seen from c.
      weight_[ab] = weight_[ba] = cotangentAt(*p[(k + 2) % 3], *p[k], *p[(k + 1) % 3]) / 2;
      area_[c] += area / 3;
    }
  }
  mergeRows(first_, neighbour_, weight_);
  for (double& w : weight_) w = std::max(0.0, w);
  Coord3 lo = nodes.count() ? nodes.point(0) : Coord3{0, 0, 0}, hi = lo;
  for (int i = 0; i < nodes.count(); ++i) {
    const Coord3& p = nodes.point(i);
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  extent_ = vectorLength(difference(hi, lo));
}

namespace {

// Whether the value at node i stands out from those within two edges of it
// (at_hole nodes left out); `seen` holds, per node, the last node that gathered it.
bool standsOut(const MeshGraph& graph, int i, const std::vector<double>& values,
               const std::vector<Quality>& quality, std::vector<int>& seen,
               std::vector<double>& around) {
  around.clear();
  seen[i] = i;
  double lo = values[i], hi = values[i];
  for (int e = graph.begin(i); e < graph.end(i); ++e) {
    for (int f = graph.begin(graph.neighbour(e)) - 1; f < graph.end(graph.neighbour(e)); ++f) {
      int j = f < graph.begin(graph.neighbour(e)) ? graph.neighbour(e) : graph.neighbour(f);
      if (seen[j] == i || quality[j] == Quality::kAtHole) continue;
      seen[j] = i;
      around.push_back(values[j]);
      lo = std::min(lo, values[j]);
      hi = std::max(hi, values[j]);
    }
  }
  if (static_cast<int>(around.size()) < kOutlierLeast) return false;
  // The median lies between lo and hi: where these are near enough, no need to find it.
  if (lo > 0 && values[i] >= hi - kOutlierShare * lo && values[i] <= (1 + kOutlierShare) * lo) {
    return false;
  }
  double median = medianOf(around.data(), static_cast<int>(around.size()));
  for (double& v : around) v = std::fabs(v - median);
  double off = std::fabs(values[i] - median);
  return off > kOutlierShare * std::fabs(median) && off > kOutlierSpread * spreadOf(around);
}

}  // namespace

int flagOutliers(const MeshGraph& graph, const std::vector<double>& values,
                 std::vector<Quality>& quality, int threads) {
  int n = graph.nodeCount();
  std::vector<char> outlier(n, 0);
  runInRanges(threads, n, [&](int begin, int end) {
    std::vector<int> seen(n, -1);
    std::vector<double> around;
    for (int i = begin; i < end; ++i) {
      outlier[i] =
          quality[i] != Quality::kAtHole && standsOut(graph, i, values, quality, seen, around);
    }
  });
  int count = 0;
  for (int i = 0; i < n; ++i) {
    if (!outlier[i]) continue;
    quality[i] = std::max(quality[i], Quality::kOutlier);
    ++count;
  }
  return count;
}

namespace {

// The flagged nodes that reach an unflagged one along edges of some weight,
// in the order they are reached.
std::vector<int> fillableNodes(const MeshGraph& graph, const std::vector<Quality>& quality) {
  std::vector<int> order;
  std::vector<char> seen(graph.nodeCount(), 0);
  for (int i = 0; i < graph.nodeCount(); ++i) {
    if (!isFlagged(quality[i])) continue;
    for (int e = graph.begin(i); e < graph.end(i) && !seen[i]; ++e) {
      if (graph.weight(e) > 0 && !isFlagged(quality[graph.neighbour(e)])) {
        seen[i] = 1;
        order.push_back(i);
      }
    }
  }
  for (size_t k = 0; k < order.size(); ++k) {
    int i = order[k];
    for (int e = graph.begin(i); e < graph.end(i); ++e) {
      int j = graph.neighbour(e);
      if (graph.weight(e) > 0 && isFlagged(quality[j]) && !seen[j]) {
        seen[j] = 1;
        order.push_back(j);
      }
    }
  }
  return order;
}

// L x at node i.
double laplacianAt(const MeshGraph& graph, int i, const std::vector<double>& x) {
  double sum = 0;
  for (int e = graph.begin(i); e < graph.end(i); ++e) {
    sum += graph.weight(e) * (x[i] - x[graph.neighbour(e)]);
  }
  return sum;
}

// The fill's system over the unknowns: the squared Laplacian L M^-1 L, the
// bending energy of a thin plate, whose least carries the thickness's slope
// at a hole's rim on into it.
class PlateSystem {
 public:
  PlateSystem(const MeshGraph& graph, const std::vector<int>& unknowns)
      : graph_(graph),
        unknowns_(unknowns),
        full_(graph.nodeCount(), 0.0),
        middle_(graph.nodeCount(), 0.0) {
    std::vector<char> seen(graph.nodeCount(), 0);
    for (int i : unknowns) {
      for (int e = graph.begin(i); e <= graph.end(i); ++e) {
        int j = e < graph.end(i) ? graph.neighbour(e) : i;
        if (!seen[j]) near_.push_back(j);
        seen[j] = 1;
      }
    }
  }
  // (L M^-1 L x)_u, x being `free` on the unknowns and 0 elsewhere.
  void apply(const std::vector<double>& free, std::vector<double>& out) const {
    for (size_t k = 0; k < unknowns_.size(); ++k) full_[unknowns_[k]] = free[k];
    squared(full_, out);
  }
  // -(L M^-1 L x)_u, x being `values` but for 0 on the unknowns.
  std::vector<double> rightHandSide(std::vector<double> values) const {
    for (int i : unknowns_) values[i] = 0;
    std::vector<double> b(unknowns_.size());
    squared(values, b);
    for (double& v : b) v = -v;
    return b;
  }

 private:
  void squared(const std::vector<double>& x, std::vector<double>& out) const {
    for (int w : near_) {
      middle_[w] = graph_.area(w) > 0 ? laplacianAt(graph_, w, x) / graph_.area(w) : 0;
    }
    for (size_t k = 0; k < unknowns_.size(); ++k)
      out[k] = laplacianAt(graph_, unknowns_[k], middle_);
  }

  const MeshGraph& graph_;
  const std::vector<int>& unknowns_;
  std::vector<int> near_;  // the unknowns and their neighbours
  mutable std::vector<double> full_, middle_;
};

double dot(const std::vector<double>& a, const std::vector<double>& b) {
  return std::inner_product(a.begin(), a.end(), b.begin(), 0.0);
}

// A hole of n unknowns takes about n iterations; a fill of thousands across stops here,
// near enough, rather than take minutes.
constexpr int kMostIterations = 5000;

// Conjugate gradients on the symmetric positive definite system A x = b, from x.
void conjugateGradients(const PlateSystem& system, const std::vector<double>& b,
                        std::vector<double>& x) {
  size_t n = b.size();
  std::vector<double> r(n), p(n), q(n);
  system.apply(x, q);
  for (size_t k = 0; k < n; ++k) r[k] = b[k] - q[k];
  p = r;
  double rr = dot(r, r), goal = 1e-24 * std::max(dot(b, b), 1e-300);
  for (int iteration = 0; iteration < kMostIterations && rr > goal; ++iteration) {
    system.apply(p, q);
    double step = rr / dot(p, q);
    for (size_t k = 0; k < n; ++k) {
      x[k] += step * p[k];
      r[k] -= step * q[k];
    }
    double next = dot(r, r);
    for (size_t k = 0; k < n; ++k) p[k] = r[k] + next / rr * p[k];
    rr = next;
  }
}

}  // namespace

int fillFlagged(const MeshGraph& graph, std::vector<double>& values,
                std::vector<Quality>& quality) {
  std::vector<int> unknowns = fillableNodes(graph, quality);
  std::vector<int> place(graph.nodeCount(), -1);
  for (size_t k = 0; k < unknowns.size(); ++k) place[unknowns[k]] = static_cast<int>(k);
  // Each unknown starts at the mean of the neighbours known before it, rim inwards.
  std::vector<double> x(unknowns.size(), 0.0);
  for (size_t k = 0; k < unknowns.size(); ++k) {
    int i = unknowns[k];
    double sum = 0, weights = 0;
    for (int e = graph.begin(i); e < graph.end(i); ++e) {
      int j = graph.neighbour(e), at = place[j];
      if (at >= static_cast<int>(k)) continue;
      sum += graph.weight(e) * (at < 0 ? values[j] : x[at]);
      weights += graph.weight(e);
    }
    x[k] = sum / weights;  // some neighbour before it has a weight: that is how it was reached
  }
  PlateSystem plate(graph, unknowns);
  conjugateGradients(plate, plate.rightHandSide(values), x);
  for (size_t k = 0; k < unknowns.size(); ++k) {
    values[unknowns[k]] = x[k];
    quality[unknowns[k]] = Quality::kFilled;
  }
  return static_cast<int>(unknowns.size());
}

namespace {

// Below this a term of the heat kernel's expansion adds nothing a float keeps.
constexpr double kTermLeast = 1e-10;

// e^-beta I_k(beta), the scaled modified Bessel functions, for k from 0 while
// they reach kTermLeast: Miller's backward recurrence, normalised by
// e^beta = I_0(beta) + 2 (I_1(beta) + I_2(beta) + ...).
std::vector<double> scaledBessel(double beta) {
  // The terms fall as exp(-k^2 / 2 beta), and faster beyond beta: from here on they are nothing.
  int start = static_cast<int>(std::ceil(12 * std::sqrt(beta) + 40));
  std::vector<double> terms(start + 2, 0.0);
  terms[start] = 1e-30;
  for (int k = start; k > 0; --k) {
    terms[k - 1] = terms[k + 1] + 2.0 * k / beta * terms[k];
    if (terms[k - 1] > 1e250) {
      for (int j = k - 1; j <= start; ++j) terms[j] *= 1e-250;
    }
  }
  double total = terms[0];
  for (int k = 1; k <= start; ++k) total += 2 * terms[k];
  for (double& term : terms) term /= total;
  int kept = 1;
  while (kept < start && terms[kept] >= kTermLeast) ++kept;
  terms.resize(kept);
  return terms;
}

// B = (2 / lambda) M^-1 L - I, whose spectrum lies in [-1, 1]: one row's
// weights, scaled, and its diagonal.
struct Shifted {
  const MeshGraph& graph;
  std::vector<double> offDiagonal, diagonal;

  Shifted(const MeshGraph& g, double* lambda) : graph(g), diagonal(g.nodeCount(), 0.0) {
    std::vector<double> rowSum(g.nodeCount(), 0.0);
    *lambda = 0;
    for (int i = 0; i < g.nodeCount(); ++i) {
      for (int e = g.begin(i); e < g.end(i); ++e) rowSum[i] += g.weight(e);
      if (g.area(i) > 0) *lambda = std::max(*lambda, 2 * rowSum[i] / g.area(i));  // Gershgorin
    }
    offDiagonal.resize(g.end(g.nodeCount() - 1));
    for (int i = 0; i < g.nodeCount(); ++i) {
      double scale = g.area(i) > 0 && *lambda > 0 ? 2 / (*lambda * g.area(i)) : 0;
      for (int e = g.begin(i); e < g.end(i); ++e) offDiagonal[e] = scale * g.weight(e);
      diagonal[i] = scale * rowSum[i] - 1;
    }
  }
  double row(int i, const std::vector<double>& x) const {
    double sum = diagonal[i] * x[i];
    for (int e = graph.begin(i); e < graph.end(i); ++e)
      sum -= offDiagonal[e] * x[graph.neighbour(e)];
    return sum;
  }
};

}  // namespace

void smoothGaussian(const MeshGraph& graph, double fwhm, std::vector<double>& values, int threads) {
  int n = graph.nodeCount();
  if (n == 0) return;
  double lambda;
  Shifted b(graph, &lambda);
  // A Gaussian wider than the mesh leaves each piece its mean, as one as wide does.
  double sigma = std::min(fwhm / (2 * std::sqrt(2 * std::log(2.0))), graph.extent());
  double beta = sigma * sigma / 2 * lambda / 2;  // time sigma^2 / 2 over half the spectrum
  if (!(beta > 0)) return;
  // exp(-t A) = e^-beta (I_0(beta) + 2 sum (-1)^k I_k(beta) T_k(B)): T_k(B) x by its recurrence.
  std::vector<double> c = scaledBessel(beta);
  std::vector<double> previous = values, current(n), smoothed(n);
  runInRanges(threads, n, [&](int begin, int end) {
    for (int i = begin; i < end; ++i) {
      current[i] = b.row(i, previous);
      smoothed[i] = c[0] * previous[i] - (c.size() > 1 ? 2 * c[1] * current[i] : 0.0);
    }
  });
  for (size_t k = 2; k < c.size(); ++k) {
    double term = (k % 2 ? -2 : 2) * c[k];
    runInRanges(threads, n, [&](int begin, int end) {
      for (int i = begin; i < end; ++i) {
        previous[i] = 2 * b.row(i, current) - previous[i];  // T_k, over T_(k-2)
        smoothed[i] += term * previous[i];
      }
    });
    std::swap(previous, current);
  }
  values = std::move(smoothed);
}

ThicknessClasses thicknessClasses(const ShellElements& elements, const float* thickness,
                                  int count) {
  int e = elements.count();
  std::vector<double> value(e);
  for (int k = 0; k < e; ++k) {
    int corners = elements.isTriangle(k) ? 3 : 4;
    double sum = 0;
    for (int c = 0; c < corners; ++c) sum += thickness[elements.of(k)[c] - 1];
    value[k] = sum / corners;
  }
  std::vector<int> order(e);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return value[a] < value[b]; });
  ThicknessClasses classes;
  classes.classOf.resize(e);
  int last = -1;
  for (int rank = 0, first = 0; rank < e; ++rank) {
    if (value[order[rank]] != value[order[first]]) first = rank;  // equals go with the first
    int k = static_cast<int>(static_cast<long long>(first) * count / e);
    if (k != last) {
      classes.classes.push_back({value[order[rank]], value[order[rank]], 0, 0});
      last = k;
    }
    ThicknessClass& into = classes.classes.back();
    into.to = value[order[rank]];
    into.mean += value[order[rank]];
    ++into.elements;
    classes.classOf[order[rank]] = static_cast<int>(classes.classes.size()) - 1;
  }
  for (ThicknessClass& c : classes.classes) c.mean /= c.elements;
  return classes;
}

}  // namespace verdask
