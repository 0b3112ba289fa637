// The nearest vertex of a point set, exactly, fast, and from any thread.
#pragma once

#include <ANN/ANN.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "input/point_set.h"

namespace verdask {

/// Which index answers: the fast kd-tree with the ANN library judging ties,
/// or the ANN library alone (the reference the fast index must equal).
enum class IndexChoice { kFastWithAnnJudge, kAnnOnly };

/// Which ties need the judge: all, or only those between vertices at
/// different coordinates (where only coordinates reach the outputs).
enum class TieRule { kEveryTie, kDistinctCoordinates };

/// How many of a NearestVertex's queries were ties, and how many ANN answered.
struct QueryCounts {
  long long ties = 0;    // the two nearest within the tie tolerance
  long long judged = 0;  // answered by the ANN library
};

/// Answers which vertex of a point set is nearest to a query point. A fast
/// exact kd-tree answers; when its two nearest vertices are (nearly) equally
/// near, the ANN library's exact search answers instead, as it always has, so
/// the vertex chosen among equals is ANN's. The point set must outlive it.
class NearestVertex {
 public:
  NearestVertex(const PointSet& points, TieRule ties, IndexChoice choice);
  ~NearestVertex();
  NearestVertex(const NearestVertex&) = delete;
  NearestVertex& operator=(const NearestVertex&) = delete;

  /// The index (from 0) of the vertex nearest to `query`; safe from many threads.
  int nearest(const double* query) const;

  QueryCounts counts() const;

  /// The median distance from a sample of the vertices to their nearest other
  /// vertex: how far a point on the surface may lie from every vertex.
  double typicalSpacing() const;

 private:
  class FastTree;
  struct Folded;
  static std::unique_ptr<Folded> fold(const PointSet& points);
  const double* entryCoords(uint32_t entry) const;
  int vertexOf(uint32_t entry) const;
  int judge(const double* query) const;
  ANNkd_tree& annTree() const;

  const PointSet& points_;
  TieRule ties_;
  std::unique_ptr<Folded> folded_;           // none when no two vertices coincide
  std::unique_ptr<FastTree> fast_;           // none when ANN answers every query
  mutable std::unique_ptr<ANNkd_tree> ann_;  // built by the first query that needs it
  mutable std::atomic<long long> ties_seen_{0}, judged_{0};
};

}  // namespace verdask
