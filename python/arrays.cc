#include "arrays.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "input/formats.h"
#include "input/polygon_soup.h"
#include "input/readers.h"

namespace verdask {

namespace {

std::string shapeOf(const py::array& array) {
  std::string text = "(";
  for (py::ssize_t k = 0; k < array.ndim(); ++k) {
    text += (k ? ", " : "") + std::to_string(array.shape(k));
  }
  return text + (array.ndim() == 1 ? ",)" : ")");
}

// The object as an array of one of the numpy kinds given ("fiu": real
// numbers, "iu": whole numbers); ValueError when it is not one.
py::array numericArray(py::handle object, const std::string& what, const char* kinds,
                       const char* expected) {
  py::array array = py::array::ensure(object);
  if (!array) throw py::value_error(what + ": expected an array of " + expected);
  char kind = array.dtype().kind();
  if (!strchr(kinds, kind)) {
    throw py::value_error(what + ": expected " + expected + ", got dtype " +
                          py::str(array.dtype()).cast<std::string>());
  }
  return array;
}

std::string rowText(const Coord3& p) {
  char text[100];
  snprintf(text, sizeof text, "(%g, %g, %g)", p.x, p.y, p.z);
  return text;
}

// Rows of three coordinates, each finite and within the size the trees can
// square; `rows` when given is the count there must be.
std::vector<Coord3> coordinateRows(py::handle object, const std::string& what,
                                   long long rows = -1) {
  py::array array = numericArray(object, what, "fiu", "real numbers");
  if (array.ndim() != 2 || array.shape(1) != 3 || (rows >= 0 && array.shape(0) != rows)) {
    std::string wanted = rows >= 0 ? "(" + std::to_string(rows) + ", 3)" : "(n, 3)";
    throw py::value_error(what + ": expected shape " + wanted + ", got " + shapeOf(array));
  }
  auto values = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(array);
  auto view = values.unchecked<2>();
  std::vector<Coord3> points(view.shape(0));
  for (py::ssize_t i = 0; i < view.shape(0); ++i) {
    points[i] = {view(i, 0), view(i, 1), view(i, 2)};
    const Coord3& p = points[i];
    if (!(std::fabs(p.x) <= kMaxCoordinate && std::fabs(p.y) <= kMaxCoordinate &&
          std::fabs(p.z) <= kMaxCoordinate)) {
      throw py::value_error(what + ": row " + std::to_string(i) + " is " + rowText(p) +
                            ", not finite numbers within 1e150");
    }
  }
  return points;
}

void checkCorner(long long corner, size_t points, const std::string& what, size_t row) {
  if (corner < 0 || static_cast<size_t>(corner) >= points) {
    throw py::value_error(what + ": row " + std::to_string(row) + " names point " +
                          std::to_string(corner) + ", outside 0.." + std::to_string(points - 1));
  }
}

// Polygons as rows of three or more corners (from 0).
void addRows(const py::array& array, const std::string& what, PolygonSoup& soup) {
  if (array.ndim() != 2 || array.shape(1) < 3) {
    throw py::value_error(what + ": expected shape (m, 3) or (m, k) with k >= 3, got " +
                          shapeOf(array));
  }
  auto values = py::array_t<long long, py::array::c_style | py::array::forcecast>::ensure(array);
  auto view = values.unchecked<2>();
  for (py::ssize_t f = 0; f < view.shape(0); ++f) {
    for (py::ssize_t k = 0; k < view.shape(1); ++k) {
      checkCorner(view(f, k), soup.points.size(), what, f);
      soup.corners.push_back(static_cast<int>(view(f, k)));
    }
    soup.endPolygon();
  }
}

// Polygons in VTK's flat cell layout: a corner count, then that many corners; a row is a cell.
void addCells(const py::array& array, const std::string& what, PolygonSoup& soup) {
  auto values = py::array_t<long long, py::array::c_style | py::array::forcecast>::ensure(array);
  auto view = values.unchecked<1>();
  py::ssize_t size = view.shape(0);
  for (py::ssize_t at = 0, cell = 0; at < size; ++cell) {
    long long count = view(at);
    if (count < 3 || count >= size - at) {
      throw py::value_error(what + ": row " + std::to_string(cell) + " (at " + std::to_string(at) +
                            ") has " + std::to_string(count) +
                            (count < 3 ? " corners, fewer than 3" : " corners, past the end"));
    }
    for (long long k = 1; k <= count; ++k) {
      checkCorner(view(at + k), soup.points.size(), what, cell);
      soup.corners.push_back(static_cast<int>(view(at + k)));
    }
    soup.endPolygon();
    at += count + 1;
  }
}

// Points and polygons from a pair or an object with .points and .faces.
PolygonSoup soupOf(py::handle object, const std::string& argument) {
  py::object points, polygons;
  if (py::isinstance<py::tuple>(object) || py::isinstance<py::list>(object)) {
    py::sequence pair = py::reinterpret_borrow<py::sequence>(object);
    if (py::len(pair) != 2) {
      throw py::value_error(argument + ": expected (points, triangles), got " +
                            std::to_string(py::len(pair)) + " items");
    }
    points = pair[0];
    polygons = pair[1];
  } else if (py::hasattr(object, "points") && py::hasattr(object, "faces")) {
    points = object.attr("points");
    polygons = object.attr("faces");
  } else {
    throw py::type_error(argument +
                         ": expected a verdask surface, a (points, triangles) pair or an object "
                         "with .points and .faces, got " +
                         py::str(py::type::handle_of(object).attr("__name__")).cast<std::string>());
  }
  PolygonSoup soup;
  soup.points = coordinateRows(points, argument + " points");
  if (soup.points.empty()) throw py::value_error(argument + " points: the surface is empty");
  std::string what = argument + (py::hasattr(object, "faces") ? " faces" : " triangles");
  py::array array = numericArray(polygons, what, "iu", "whole numbers");
  if (array.ndim() == 1) {
    addCells(array, what, soup);
  } else {
    addRows(array, what, soup);
  }
  return soup;
}

}  // namespace

std::shared_ptr<const Surface> surfaceArgument(py::handle object, const std::string& argument) {
  if (py::isinstance<Surface>(object)) return object.cast<std::shared_ptr<Surface>>();
  PolygonSoup soup = soupOf(object, argument);
  auto surface = std::make_shared<Surface>();
  surface->name = argument;
  triangulate(soup, surface->triangles);
  surface->points = std::move(soup.points);
  return surface;
}

std::shared_ptr<Mesh> meshArgument(py::handle object) {
  if (py::isinstance<Mesh>(object)) return object.cast<std::shared_ptr<Mesh>>();
  PolygonSoup soup;
  if (py::isinstance<Surface>(object)) {
    const Surface& surface = object.cast<const Surface&>();
    soup.points = surface.points;
    for (size_t k = 0; k < surface.triangles.size(); k += 3) {
      soup.corners.insert(soup.corners.end(), &surface.triangles[k], &surface.triangles[k] + 3);
      soup.endPolygon();
    }
  } else {
    soup = soupOf(object, "mesh");
  }
  if (soup.polygonCount() == 0) throw py::value_error("mesh: no polygons to mesh");
  auto mesh = std::make_shared<Mesh>();
  mesh->name = "mesh";
  meshOfSoup(soup, mesh->shell);
  return mesh;
}

NormalsSource normalsArgument(py::handle object, size_t corticalPoints) {
  NormalsSource source;
  if (object.is_none()) return source;
  if (py::isinstance<py::str>(object) || py::hasattr(object, "__fspath__")) {
    source.kind = NormalsSource::kFile;
    source.path = py::module_::import("os").attr("fspath")(object).cast<std::string>();
    return source;
  }
  source.kind = NormalsSource::kGiven;
  source.given = coordinateRows(object, "normals", static_cast<long long>(corticalPoints));
  return source;
}

py::array_t<double> pointsArray(const std::vector<Coord3>& points) {
  py::array_t<double> array({static_cast<py::ssize_t>(points.size()), py::ssize_t{3}});
  std::copy_n(reinterpret_cast<const double*>(points.data()), 3 * points.size(),
              array.mutable_data());
  return array;
}

py::array_t<long long> cornerRows(const std::vector<int>& corners, int perRow, int first,
                                  bool triangleAsQuad) {
  py::ssize_t rows = static_cast<py::ssize_t>(corners.size() / perRow);
  py::array_t<long long> array({rows, static_cast<py::ssize_t>(perRow)});
  long long* out = array.mutable_data();
  for (size_t k = 0; k < corners.size(); ++k) out[k] = corners[k] - first;
  for (py::ssize_t r = 0; triangleAsQuad && r < rows; ++r) {
    if (out[4 * r + 3] == out[4 * r + 2]) out[4 * r + 3] = -1;
  }
  return array;
}

}  // namespace verdask
