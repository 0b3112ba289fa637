// What Python hands the module, taken into the core's structs with every
// check a reader makes, and the core's values handed back as numpy arrays.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <vector>

#include "session.h"

namespace verdask {

namespace py = pybind11;

/// A surface: a verdask.Surface, a (points, polygons) pair, or any object
/// with .points and .faces (VTK's flat cell layout, or rows of corners).
/// Raises ValueError naming `argument` and its first bad row.
std::shared_ptr<const Surface> surfaceArgument(py::handle object, const std::string& argument);

/// A mesh: a verdask.Mesh, or a surface given as above, taken as a mesh the
/// way the tool takes a surface file (four corners a quadrilateral).
std::shared_ptr<Mesh> meshArgument(py::handle object);

/// The normals: none (the cortical surface's own, or computed), a path to a
/// legacy normals file, or one finite row per cortical point.
NormalsSource normalsArgument(py::handle object, size_t corticalPoints);

py::array_t<double> pointsArray(const std::vector<Coord3>& points);

/// Corners, `perRow` a row and counted from `first`, as rows of indices from
/// 0; with `triangleAsQuad`, a four-corner row that repeats its third corner
/// (a triangle of the shell elements) ends with -1.
py::array_t<long long> cornerRows(const std::vector<int>& corners, int perRow, int first,
                                  bool triangleAsQuad);

template <typename T>
py::array_t<T> valuesArray(const std::vector<T>& values) {
  py::array_t<T> array(values.size());
  std::copy(values.begin(), values.end(), array.mutable_data());
  return array;
}

}  // namespace verdask
