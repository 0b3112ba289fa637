#include "thickness/nearest_vertex.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace verdask {

namespace {

using Points = std::vector<Coord3>;

void fill(PointSet& set, const Points& points) {
  ASSERT_TRUE(set.resize(static_cast<int>(points.size())));
  for (size_t i = 0; i < points.size(); ++i) {
    set.points()[i][0] = points[i].x;
    set.points()[i][1] = points[i].y;
    set.points()[i][2] = points[i].z;
  }
}

// Point sets full of ties and of the shapes that trip a kd-tree's pruning.
std::vector<std::pair<std::string, Points>> degenerateSets() {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coordinate(-50, 50);
  Points scattered, equal(500, {3, -2, 7}), duplicated, line, plane;
  for (int i = 0; i < 2000; ++i) {
    scattered.push_back({coordinate(random), coordinate(random), coordinate(random)});
  }
  for (int i = 0; i < 900; ++i) duplicated.push_back(scattered[i / 3]);
  for (int i = 0; i < 600; ++i) line.push_back({1.0 * (i % 300), 2.0 * (i % 300), 0});
  for (int i = 0; i < 900; ++i) plane.push_back({1.0 * (i % 30), 1.0 * (i / 30), 5});
  return {{"scattered", scattered},
          {"all equal", equal},
          {"duplicated", duplicated},
          {"collinear", line},
          {"coplanar grid", plane}};
}

// Points on the set's vertices, halfway between them, and anywhere.
Points queriesFor(const Points& points) {
  std::mt19937 random(8);
  std::uniform_real_distribution<double> coordinate(-60, 60);
  Points queries;
  for (size_t i = 0; i + 1 < points.size(); i += 7) {
    queries.push_back(points[i]);
    queries.push_back({(points[i].x + points[i + 1].x) / 2, (points[i].y + points[i + 1].y) / 2,
                       (points[i].z + points[i + 1].z) / 2});
  }
  for (int i = 0; i < 300; ++i) {
    queries.push_back({coordinate(random), coordinate(random), coordinate(random)});
    queries.push_back(
        {std::round(coordinate(random)) + 0.5, std::round(coordinate(random)) + 0.5, 5});
  }
  return queries;
}

TEST(NearestVertex, AnswersAsAnnAloneOnDegenerateSets) {
  for (const auto& [name, points] : degenerateSets()) {
    SCOPED_TRACE(name);
    PointSet set;
    fill(set, points);
    NearestVertex ann(set, TieRule::kEveryTie, IndexChoice::kAnnOnly);
    NearestVertex everyTie(set, TieRule::kEveryTie, IndexChoice::kFastWithAnnJudge);
    NearestVertex distinct(set, TieRule::kDistinctCoordinates, IndexChoice::kFastWithAnnJudge);
    for (const Coord3& query : queriesFor(points)) {
      int expected = ann.nearest(&query.x);
      ASSERT_EQ(everyTie.nearest(&query.x), expected) << query.x << " " << query.y;
      const Coord3& got = set.point(distinct.nearest(&query.x));
      const Coord3& want = set.point(expected);
      ASSERT_TRUE(got.x == want.x && got.y == want.y && got.z == want.z);
    }
    // Only ties went to ANN, and the rule for coinciding vertices spared some.
    EXPECT_EQ(everyTie.counts().judged, everyTie.counts().ties);
    EXPECT_LE(distinct.counts().judged, everyTie.counts().judged);
  }
}

// Vertices that differ in z alone do not coincide: the judge must answer.
TEST(NearestVertex, JudgesTiesOfVerticesApartOnlyInZ) {
  PointSet set;
  fill(set, {{0, 0, 1}, {0, 0, -1}, {5, 5, 5}});
  NearestVertex distinct(set, TieRule::kDistinctCoordinates, IndexChoice::kFastWithAnnJudge);
  NearestVertex ann(set, TieRule::kEveryTie, IndexChoice::kAnnOnly);
  Coord3 query{0, 0, 0};
  EXPECT_EQ(distinct.nearest(&query.x), ann.nearest(&query.x));
  EXPECT_EQ(distinct.counts().judged, 1);
}

}  // namespace

}  // namespace verdask
