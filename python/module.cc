// The Python module verdask: the tool's readers, measures and writers over
// numpy arrays, with the tool's bytes.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "arrays.h"
#include "output/class_sections.h"
#include "output/shell_cards.h"
#include "session.h"

namespace verdask {

namespace {

double finiteNumber(const std::string& key, py::handle value) {
  double number = value.cast<double>();
  if (!std::isfinite(number)) throw py::value_error(key + ": expected a finite number");
  return number;
}

int wholeNumber(const std::string& key, py::handle value, long long least, long long most) {
  long long number = value.cast<long long>();
  if (number < least || number > most) {
    throw py::value_error(key + ": expected a whole number from " + std::to_string(least) + " to " +
                          std::to_string(most) + ", got " + std::to_string(number));
  }
  return static_cast<int>(number);
}

std::string deckName(const std::string& key, py::handle value) {
  std::string name = value.cast<std::string>();
  if (!isDeckName(name)) {
    throw py::value_error(key + ": " + name +
                          " is no deck name (a letter, then letters, digits and _, at most 80)");
  }
  return name;
}

// PART=MATERIAL or PART=ID mappings, the part by its name or number.
void takeMappings(const std::string& key, py::handle value, MeasureOptions& options) {
  for (auto [part, mapped] : value.cast<py::dict>()) {
    PartMaterial mapping;
    mapping.part = py::str(part).cast<std::string>();
    if (key == "part_material") {
      mapping.material = deckName(key, mapped);
    } else {
      mapping.materialId = wholeNumber(key, mapped, 1, kCardFieldMost);
    }
    options.partMaterials.push_back(mapping);
  }
}

// One keyword option, named as the tool names it (without the dash, - as _).
void takeOption(const std::string& key, py::handle value, MeasureOptions& options) {
  if (key == "measure") {
    std::string name = value.cast<std::string>();
    const MeasureKind* kind = measureKindNamed(name);
    // The measure from a CT image needs the image, which the module does not take.
    if (!kind || kind->fromImage) {
      throw py::value_error("measure: expected vertex, surface, normal or symmetric, got " + name);
    }
    options.measure = kind;
  } else if (key == "surface") {
    if (value.cast<bool>()) options.measure = measureKindNamed("surface");
  } else if (key == "adj" || key == "min" || key == "max") {
    double& number = key == "adj" ? options.adj : key == "min" ? options.min : options.max;
    number = finiteNumber(key, value);
  } else if (key == "num") {
    options.num = wholeNumber(key, value, INT_MIN, INT_MAX);
    options.numGiven = true;
  } else if (key == "val") {
    options.val = wholeNumber(key, value, kCardFieldLeast, kCardFieldMost);
    options.valGiven = true;
    options.given.number = options.val;
  } else if (key == "threads") {
    options.threads = value.is_none() ? 0 : wholeNumber(key, value, 1, 1024);
  } else if (key == "fill") {
    options.fill = value.cast<bool>();
  } else if (key == "smooth") {
    options.smooth = finiteNumber(key, value);
    if (options.smooth <= 0) throw py::value_error("smooth: expected a width above 0");
  } else if (key == "sections") {
    options.sections = wholeNumber(key, value, 1, kMostSections);
  } else if (key == "strict" || key == "force") {
    (key == "strict" ? options.strict : options.force) = value.cast<bool>();
  } else if (key == "elset" || key == "material") {
    (key == "elset" ? options.given.name : options.given.material) = deckName(key, value);
  } else if (key == "mid") {
    options.given.materialId = wholeNumber(key, value, 1, kCardFieldMost);
  } else if (key == "part_material" || key == "part_mid") {
    takeMappings(key, value, options);
  } else {
    throw py::type_error("measure() got an unexpected keyword argument '" + key + "'");
  }
}

std::string nameOf(py::handle object, const char* fallback) {
  if (py::isinstance<Mesh>(object)) return object.cast<const Mesh&>().name;
  if (py::isinstance<Surface>(object)) return object.cast<const Surface&>().name;
  return fallback;
}

// The words the Abaqus deck's comment carries: the inputs and options in the tool's syntax.
std::vector<std::string> commandLineOf(py::handle mesh, py::handle cortical, py::handle normals,
                                       py::handle trabecular, const py::kwargs& given) {
  std::string normalsWord =
      normals.is_none() ? "-"
      : py::isinstance<py::str>(normals) || py::hasattr(normals, "__fspath__")
          ? py::module_::import("os").attr("fspath")(normals).cast<std::string>()
          : "normals";
  std::vector<std::string> words = {nameOf(mesh, "mesh"), nameOf(cortical, "cortical"), normalsWord,
                                    nameOf(trabecular, "trabecular")};
  for (auto [key, value] : given) {
    std::string option = "-" + key.cast<std::string>();
    std::replace(option.begin(), option.end(), '_', '-');
    if (py::isinstance<py::bool_>(value)) {
      if (value.cast<bool>()) words.push_back(option);
      continue;
    }
    words.push_back(option);
    words.push_back(py::str(value).cast<std::string>());
  }
  return words;
}

std::unique_ptr<Result> measure(py::handle mesh, py::handle cortical, py::handle trabecular,
                                py::handle normals, const py::kwargs& given) {
  MeasureOptions options;
  for (auto [key, value] : given) takeOption(key.cast<std::string>(), value, options);
  options.commandLine = commandLineOf(mesh, cortical, normals, trabecular, given);
  std::shared_ptr<Mesh> meshInput = meshArgument(mesh);
  std::shared_ptr<const Surface> corticalInput = surfaceArgument(cortical, "cortical");
  std::shared_ptr<const Surface> trabecularInput = surfaceArgument(trabecular, "trabecular");
  NormalsSource normalsInput = normalsArgument(normals, corticalInput->points.size());
  py::gil_scoped_release release;
  return measureMesh(meshInput, *corticalInput, *trabecularInput, normalsInput, options);
}

std::string pathOf(py::handle path) {
  return py::module_::import("os").attr("fspath")(path).cast<std::string>();
}

// A writer of a result, run without the GIL.
template <void (*write)(const Result&, const std::string&)>
void writeTo(const Result& result, py::handle path) {
  std::string name = pathOf(path);
  py::gil_scoped_release release;
  write(result, name);
}

void writeAbaqusTo(const Result& result, py::handle path, py::object commandLine) {
  std::string name = pathOf(path);
  std::vector<std::string> words;
  if (!commandLine.is_none()) words = commandLine.cast<std::vector<std::string>>();
  py::gil_scoped_release release;
  writeAbaqus(result, name, commandLine.is_none() ? nullptr : &words);
}

// A mesh's numbers as the deck gives them by default: its own, or 1, 2, ...
py::array_t<long long> nodeNumbersOf(const Mesh& mesh) {
  std::vector<long long> numbers(mesh.shell.nodes.size());
  for (size_t i = 0; i < numbers.size(); ++i) {
    numbers[i] = mesh.shell.elements.nodeNumber(static_cast<int>(i) + 1);
  }
  return valuesArray(numbers);
}

py::array_t<long long> elementNumbersOf(const Mesh& mesh, bool parts) {
  const ShellElements& elements = mesh.shell.elements;
  std::vector<long long> numbers(elements.count());
  for (int e = 0; e < elements.count(); ++e) {
    // A part of -1 is one the file does not give: the default -val's.
    int part = elements.partOf(e, 1);
    numbers[e] = !parts ? elements.elementNumber(e, 1) : part < 0 ? 1 : part;
  }
  return valuesArray(numbers);
}

py::dict partNamesOf(const Mesh& mesh) {
  py::dict names;
  for (const auto& [number, name] : mesh.shell.partNames) names[py::int_(number)] = name;
  return names;
}

void bindMesh(py::module_& m) {
  py::class_<Mesh, std::shared_ptr<Mesh>>(m, "Mesh", "A mesh as read: nodes and shell elements.")
      .def_property_readonly(
          "nodes", [](const Mesh& mesh) { return pointsArray(mesh.shell.nodes); },
          "(n, 3) float64: the node coordinates, in file order")
      .def_property_readonly("node_numbers", &nodeNumbersOf,
                             "(n,) int: each node's own number (1, 2, ... where the file gives "
                             "none)")
      .def_property_readonly(
          "elements",
          [](const Mesh& mesh) { return cornerRows(mesh.shell.elements.corners, 4, 1, true); },
          "(e, 4) int: each element's nodes (indices from 0); -1 ends a triangle")
      .def_property_readonly(
          "element_numbers", [](const Mesh& mesh) { return elementNumbersOf(mesh, false); },
          "(e,) int: each element's own number (1, 2, ... where the file gives none)")
      .def_property_readonly(
          "parts", [](const Mesh& mesh) { return elementNumbersOf(mesh, true); },
          "(e,) int: each element's part (1 where the file gives none)")
      .def_property_readonly("part_names", &partNamesOf,
                             "dict: each part's name by its number, as the file names them")
      .def("__repr__", [](const Mesh& mesh) {
        return "<verdask.Mesh " + mesh.name + ": " + std::to_string(mesh.shell.nodes.size()) +
               " nodes, " + std::to_string(mesh.shell.elements.count()) + " elements>";
      });
}

void bindSurface(py::module_& m) {
  py::class_<Surface, std::shared_ptr<Surface>>(m, "Surface", "A surface as read.")
      .def_property_readonly(
          "points", [](const Surface& surface) { return pointsArray(surface.points); },
          "(n, 3) float64: the points")
      .def_property_readonly(
          "triangles",
          [](const Surface& surface) { return cornerRows(surface.triangles, 3, 0, false); },
          "(m, 3) int: the triangles' corners (from 0); larger polygons split as a fan")
      .def_property_readonly(
          "normals",
          [](const Surface& surface) -> py::object {
            if (surface.normals.empty()) return py::none();
            return pointsArray(surface.normals);
          },
          "(n, 3) float64: the normal at each point, where the file carries them; else None")
      .def("__repr__", [](const Surface& surface) {
        return "<verdask.Surface " + surface.name + ": " + std::to_string(surface.points.size()) +
               " points, " + std::to_string(surface.triangles.size() / 3) + " triangles>";
      });
}

py::array_t<signed char> qualityOf(const Result& result) {
  std::vector<signed char> codes(result.record.quality.size());
  std::transform(result.record.quality.begin(), result.record.quality.end(), codes.begin(),
                 [](Quality q) { return static_cast<signed char>(q); });
  return valuesArray(codes);
}

void bindResult(py::module_& m) {
  py::class_<Result>(m, "Result", "A measured mesh: values per node, in mesh node order.")
      .def_readonly("mesh", &Result::mesh, "the mesh measured")
      .def_property_readonly(
          "thickness", [](const Result& r) { return valuesArray(r.thickness); },
          "(n,) float32: the thickness, as the deck gets it")
      .def_property_readonly(
          "angle", [](const Result& r) { return valuesArray(r.record.angles); },
          "(n,) float64: degrees between the cortical normal and the direction measured; NaN "
          "where either has none")
      .def_property_readonly(
          "quality", &qualityOf,
          "(n,) int8: 0 measured, 1 fell_back, 2 lowered_to_maximum, 3 raised_to_minimum, 4 "
          "outside_cortex, 9 outlier, 10 at_hole, 11 filled")
      .def_property_readonly(
          "mesh_to_cortical", [](const Result& r) { return valuesArray(r.record.meshToCortical); },
          "(n,) float64: each node's distance to the cortical point measured from")
      .def_property_readonly(
          "cortical_points", [](const Result& r) { return pointsArray(r.record.corticalPoints); },
          "(n, 3) float64: the cortical point each node was measured from")
      .def_property_readonly(
          "trabecular_points",
          [](const Result& r) { return pointsArray(r.record.trabecularPoints); },
          "(n, 3) float64: the trabecular point each node was measured to")
      .def_readonly("warnings", &Result::warnings, "the run's warning lines")
      .def("write_cards", &writeTo<writeKeyword>, py::arg("path"),
           "Writes the out.k cards: *ELEMENT_SHELL_THICKNESS, the elements as the mesh has them")
      .def("write_inp", &writeAbaqusTo, py::arg("path"), py::arg("command_line") = py::none(),
           "Writes the complete Abaqus deck (-inp); its comment carries command_line, the "
           "words after the version, as the tool's carries its command line")
      .def("write_deck", &writeTo<writeDyna>, py::arg("path"),
           "Writes the complete LS-DYNA deck (-deck)")
      .def("write_nodal", &writeTo<writeNodal>, py::arg("path"),
           "Writes the *NODAL THICKNESS table (-nodal)")
      .def("write_view", &writeTo<writeView>, py::arg("path"),
           "Writes the view (-vtk): legacy VTK, or VTK XML for .vtu and .vtp");
}

}  // namespace

}  // namespace verdask

PYBIND11_MODULE(verdask, m) {
  using namespace verdask;
  m.doc() = "Cortical thickness of bone FE meshes: the verdask tool's core over numpy arrays.";
  m.attr("__version__") = VERDASK_VERSION;
  static py::exception<ToolError> error(m, "Error");
  error.doc() = "A run the tool would end: str() is its lines, .status its exit status.";
  py::register_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const ToolError& e) {
      py::object instance = py::reinterpret_borrow<py::object>(error)(e.what());
      instance.attr("status") = e.status();
      PyErr_SetObject(error.ptr(), instance.ptr());
    }
  });
  bindMesh(m);
  bindSurface(m);
  bindResult(m);
  m.def(
      "read_mesh",
      [](py::handle path) {
        std::string name = pathOf(path);
        py::gil_scoped_release release;
        return readMeshAt(name);
      },
      py::arg("path"), "Reads a mesh file of any format the tool reads as a mesh.");
  m.def(
      "read_surface",
      [](py::handle path) {
        std::string name = pathOf(path);
        py::gil_scoped_release release;
        return readSurfaceAt(name);
      },
      py::arg("path"), "Reads a surface file of any format the tool reads as a surface.");
  m.def("measure", &measure, py::arg("mesh"), py::arg("cortical"), py::arg("trabecular"),
        py::arg("normals") = py::none(),
        "Measures the cortical thickness at every mesh node, as the tool does. Options by the "
        "tool's names: measure, adj, min, max, num, val, threads, fill, smooth, sections, "
        "strict, force, elset, material, mid, part_material, part_mid.");
}
