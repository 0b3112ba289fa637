#include "thickness/mesh_maps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "thickness/thickness_maps.h"

namespace verdask {

namespace {

// A plane grid of columns x rows nodes at xs[i], ys[j], each cell cut into
// two right triangles: node (i, j) is i + columns * j.
struct Grid {
  PointSet nodes;
  ShellElements elements;
  int columns = 0;

  Grid(const std::vector<double>& xs, const std::vector<double>& ys) : columns(xs.size()) {
    int rows = static_cast<int>(ys.size());
    EXPECT_TRUE(nodes.resize(columns * rows));
    for (int j = 0; j < rows; ++j) {
      for (int i = 0; i < columns; ++i) {
        double* p = nodes.points()[i + columns * j];
        p[0] = xs[i];
        p[1] = ys[j];
        p[2] = 0;
      }
    }
    for (int j = 0; j + 1 < rows; ++j) {
      for (int i = 0; i + 1 < columns; ++i) {
        int a = i + columns * j + 1, b = a + 1, c = a + columns + 1, d = a + columns;
        elements.addTriangle(a, b, c);
        elements.addTriangle(a, c, d);
      }
    }
  }
  std::vector<double> field(const std::function<double(double, double)>& f) const {
    std::vector<double> values;
    for (int k = 0; k < nodes.count(); ++k) values.push_back(f(nodes.point(k).x, nodes.point(k).y));
    return values;
  }
};

std::vector<double> steps(int count, double width = 1) {
  std::vector<double> at;
  for (int k = 0; k < count; ++k) at.push_back(k * width);
  return at;
}

// Node i, j of a 7 x 7 grid.
int at(int i, int j) { return i + 7 * j; }

TEST(MeshMaps, OutliersStandOutFromTheirNeighbourhood) {
  struct Case {
    const char* what;
    std::function<double(int, int)> value;
    std::vector<int> outliers;
  };
  const Case cases[] = {
      {"a spike", [](int i, int j) { return i == 3 && j == 3 ? 4.0 : 2.0; }, {at(3, 3)}},
      {"a pit beside a wobble",
       [](int i, int j) { return i == 2 && j == 4 ? 0.5 : 2.0 + 0.02 * ((i * 7 + j * 3) % 5); },
       {at(2, 4)}},
      {"two spikes side by side",
       [](int i, int j) { return j == 3 && (i == 3 || i == 4) ? 4.0 : 2.0; },
       {at(3, 3), at(4, 3)}},
      {"a step", [](int i, int) { return i < 3 ? 2.0 : 3.0; }, {}},
      {"a slope", [](int i, int j) { return 1.0 + 0.3 * i + 0.2 * j; }, {}},
      {"a rise under a quarter", [](int i, int j) { return i == 3 && j == 3 ? 2.4 : 2.0; }, {}},
  };
  Grid grid(steps(7), steps(7));
  MeshGraph graph(grid.nodes, grid.elements);
  for (const Case& c : cases) {
    std::vector<double> values;
    for (int k = 0; k < 49; ++k) values.push_back(c.value(k % 7, k / 7));
    std::vector<Quality> quality(49, Quality::kMeasured);
    EXPECT_EQ(flagOutliers(graph, values, quality, 2), static_cast<int>(c.outliers.size()))
        << c.what;
    std::vector<int> found;
    for (int k = 0; k < 49; ++k) {
      if (quality[k] == Quality::kOutlier) found.push_back(k);
    }
    EXPECT_EQ(found, c.outliers) << c.what;
  }
}

TEST(MeshMaps, FillTakesTheHarmonicFieldIntoAHole) {
  Grid grid(steps(9), steps(9, 0.5));
  auto harmonic = [](double x, double y) { return 1 + 0.2 * x - 0.1 * y + 0.05 * (x * x - y * y); };
  std::vector<double> want = grid.field(harmonic), values = want;
  std::vector<Quality> quality(values.size(), Quality::kMeasured);
  for (int j = 3; j <= 5; ++j) {
    for (int i = 2; i <= 5; ++i) {
      values[i + 9 * j] = 7.5;
      quality[i + 9 * j] = i == 2 ? Quality::kOutlier : Quality::kAtHole;
    }
  }
  MeshGraph graph(grid.nodes, grid.elements);
  EXPECT_EQ(fillFlagged(graph, values, quality), 12);
  for (size_t k = 0; k < values.size(); ++k) EXPECT_NEAR(values[k], want[k], 1e-9) << k;
  EXPECT_EQ(std::count(quality.begin(), quality.end(), Quality::kFilled), 12);
  // With every node flagged there is nothing to fill from.
  std::vector<Quality> all(values.size(), Quality::kAtHole);
  EXPECT_EQ(fillFlagged(graph, values, all), 0);
  EXPECT_EQ(std::count(all.begin(), all.end(), Quality::kAtHole), 81);
}

TEST(MeshMaps, SmoothingKeepsConstantsAndPlanesAndSpreadsADeltaToItsWidth) {
  // Finer to the right: the node areas keep the density from pulling the plane.
  std::vector<double> graded;
  for (int k = 0; k < 31; ++k) graded.push_back(k + 0.02 * k * k);
  Grid plane(graded, steps(31));
  MeshGraph planeGraph(plane.nodes, plane.elements);
  using Field = std::function<double(double, double)>;
  for (const Field& f : {Field([](double, double) { return 2.5; }),
                         Field([](double x, double y) { return 1 + 0.1 * x + 0.2 * y; })}) {
    std::vector<double> values = plane.field(f);
    smoothGaussian(planeGraph, 3.0, values, 2);
    for (int j = 10; j <= 20; ++j) {
      for (int i = 10; i <= 20; ++i) EXPECT_NEAR(values[i + 31 * j], f(graded[i], j), 1e-8);
    }
  }
  Grid fine(steps(41), steps(41));
  MeshGraph graph(fine.nodes, fine.elements);
  std::vector<double> delta(41 * 41, 0.0);
  delta[20 + 41 * 20] = 1;
  smoothGaussian(graph, 10.0, delta, 1);
  // Half the peak at half the width, along either axis and the diagonal.
  double peak = delta[20 + 41 * 20];
  for (int k : {25 + 41 * 20, 20 + 41 * 25, 15 + 41 * 20}) EXPECT_NEAR(delta[k] / peak, 0.5, 0.02);
  EXPECT_NEAR(delta[24 + 41 * 24] / peak, std::pow(0.5, 32.0 / 25), 0.02);
  double mass = 0;
  for (int k = 0; k < 41 * 41; ++k) mass += graph.area(k) * delta[k];
  EXPECT_NEAR(mass, graph.area(20 + 41 * 20), 1e-9);
}

TEST(MeshMaps, ClassesByQuantileKeepEqualThicknessesTogether) {
  struct Case {
    std::vector<float> thickness;  // of each element's three nodes
    int count;
    std::vector<std::vector<double>> classes;  // from, to, mean, elements
  };
  const Case cases[] = {
      {{4, 2, 1, 3, 8, 6, 5, 7},
       4,
       {{1, 2, 1.5, 2}, {3, 4, 3.5, 2}, {5, 6, 5.5, 2}, {7, 8, 7.5, 2}}},
      {{1, 1, 3, 1, 1, 2, 4, 1}, 4, {{1, 1, 1, 5}, {2, 2, 2, 1}, {3, 4, 3.5, 2}}},
      {{2, 1, 3}, 1, {{1, 3, 2, 3}}},
      {{2, 1}, 5, {{1, 1, 1, 1}, {2, 2, 2, 1}}},
  };
  for (const Case& c : cases) {
    ShellElements elements;
    std::vector<float> nodes;
    for (float t : c.thickness) {
      int first = static_cast<int>(nodes.size()) + 1;
      elements.addTriangle(first, first + 1, first + 2);
      nodes.insert(nodes.end(), {t, t, t});
    }
    ThicknessClasses got = thicknessClasses(elements, nodes.data(), c.count);
    ASSERT_EQ(got.classes.size(), c.classes.size());
    for (size_t k = 0; k < c.classes.size(); ++k) {
      const ThicknessClass& g = got.classes[k];
      EXPECT_EQ(std::vector<double>({g.from, g.to, g.mean, double(g.elements)}), c.classes[k]);
    }
    for (size_t e = 0; e < c.thickness.size(); ++e) {
      const ThicknessClass& in = got.classes[got.classOf[e]];
      EXPECT_TRUE(in.from <= c.thickness[e] && c.thickness[e] <= in.to);
    }
  }
}

// Flagged nodes are told one line a kind, a warning past a hundredth of the nodes.
TEST(MeshMaps, FlaggedNodesAreToldAsAWarningPastAHundredth) {
  MapFacts facts;
  facts.atHole = 2;
  facts.outliers = 1;
  const struct {
    int nodes;
    bool fill;
    std::vector<std::string> texts;
    std::vector<bool> warnings;
  } cases[] = {
      {100,
       false,
       {"2 of 100 nodes measured through a hole of the trabecular surface (quality at_hole): "
        "-fill replaces their thickness",
        "1 of 100 nodes stand out from their neighbourhood (quality outlier): -fill replaces "
        "their thickness"},
       {true, false}},
      // 2 of 200 is a hundredth: no warning yet.
      {200,
       true,
       {"2 of 200 nodes measured through a hole of the trabecular surface (quality at_hole)",
        "1 of 200 nodes stand out from their neighbourhood (quality outlier)"},
       {false, false}},
  };
  for (const auto& c : cases) {
    std::vector<FlaggedLine> lines = flaggedLines(facts, c.nodes, c.fill);
    ASSERT_EQ(lines.size(), c.texts.size());
    for (size_t k = 0; k < lines.size(); ++k) {
      EXPECT_EQ(lines[k].text, c.texts[k]);
      EXPECT_EQ(lines[k].warning, c.warnings[k]) << lines[k].text;
    }
  }
}

// A spike flagged as an outlier is filled with -fill alone; without it, it stays.
TEST(MeshMaps, FlaggedNodesAreFilledOnlyWhenAsked) {
  Grid grid(steps(7), steps(7));
  MeshGraph graph(grid.nodes, grid.elements);
  for (bool fill : {false, true}) {
    PassRecord record;
    record.distances.assign(49, 2.0);
    record.distances[at(3, 3)] = 4.0;
    record.quality.assign(49, Quality::kMeasured);
    MapFacts facts;
    flagNodes(nullptr, kMeasureKinds[0], 20, graph, record, 1, facts);
    ASSERT_EQ(facts.outliers, 1);
    std::vector<double> mapped = mappedDistances(graph, fill, 0, record, 1, facts);
    EXPECT_EQ(facts.filled, fill ? 1 : 0);
    EXPECT_NEAR(mapped[at(3, 3)], fill ? 2.0 : 4.0, 1e-9) << fill;
    EXPECT_EQ(record.quality[at(3, 3)], fill ? Quality::kFilled : Quality::kOutlier);
  }
}

}  // namespace

}  // namespace verdask
