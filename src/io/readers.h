// The three input readers of a run and the point sets they fill.
#pragma once

#include <ANN/ANN.h>

#include <cstdio>
#include <memory>

struct Coord3 {
  double x, y, z;
};

/// Points of dimension 3 in one ANN block: point i at doubles 3i, 3i+1, 3i+2.
class PointSet {
 public:
  PointSet() = default;
  ~PointSet();
  PointSet(const PointSet&) = delete;
  PointSet& operator=(const PointSet&) = delete;

  /// Replaces the array by one of n points, contents undefined; false when n
  /// points cannot be allocated (the set is then empty).
  bool resize(int n);
  ANNpointArray points() const { return points_; }
  /// The coordinate block, readable as count() consecutive Coord3.
  double* coords() const { return points_ ? points_[0] : nullptr; }
  const Coord3& point(int i) const { return reinterpret_cast<const Coord3*>(coords())[i]; }
  int count() const { return count_; }

 private:
  ANNpointArray points_ = nullptr;
  int count_ = 0;
};

/// Coordinates beyond this size could overflow a squared distance in the kd-trees.
constexpr double kMaxCoordinate = 1e150;

/// Reads the mesh's triangle block for the vertex count, then that many node
/// lines; leaves the stream just after the last node line read.
int parseMeshVertices(FILE* mesh, PointSet& points, int& count);

int parseSurfVertices(FILE* surf, PointSet& points, int& count);

/// Allocates count normals into `normals` (the caller's from then on) and reads them.
int parseNormals(FILE* vtk, int count, std::unique_ptr<Coord3[]>& normals);
