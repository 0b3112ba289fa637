#include "output/thickness_view.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "base/text_writer.h"

namespace verdask {

namespace {

// VTK's legacy ASCII reader takes no "nan"; an angle without a direction is written as this.
constexpr double kNoAngle = -1.0;
// The VTK cell types of a triangle and a quadrilateral.
constexpr uint8_t kVtkTriangle = 5;
constexpr uint8_t kVtkQuad = 9;

int cornersOf(const ShellElements& elements, int e) { return elements.isTriangle(e) ? 3 : 4; }

std::vector<int32_t> qualityCodes(const PassRecord& record) {
  std::vector<int32_t> codes;
  for (Quality quality : record.quality) codes.push_back(static_cast<int32_t>(quality));
  return codes;
}

// The CT measure's values per vertex, by the names the view gives them; none for other measures.
std::vector<std::pair<const char*, std::vector<double>>> profileArrays(const PassRecord& record) {
  if (record.profiles.empty()) return {};
  std::vector<std::pair<const char*, std::vector<double>>> arrays = {
      {"ct_offset", {}}, {"ct_outside", {}}, {"ct_inside", {}}, {"ct_residual", {}}};
  for (const ProfileValues& v : record.profiles) {
    arrays[0].second.push_back(v.offset);
    arrays[1].second.push_back(v.outside);
    arrays[2].second.push_back(v.inside);
    arrays[3].second.push_back(v.residual);
  }
  return arrays;
}

template <typename Value>
void writeFieldArray(TextWriter& out, const char* name, const char* type, const Value* values,
                     size_t count) {
  out.put(name);
  out.put(" 1 ");
  out.putInt(static_cast<long long>(count));
  out.put(' ');
  out.put(type);
  out.put('\n');
  for (size_t i = 0; i < count; ++i) {
    if constexpr (std::is_integral_v<Value>) {
      out.putInt(values[i]);
    } else {
      out.putShortest(std::isnan(values[i]) ? static_cast<Value>(kNoAngle) : values[i]);
    }
    out.put('\n');
  }
}

void writeLegacy(TextWriter& out, const PointSet& mesh, const ShellElements& elements,
                 const float* thickness, const PassRecord& record) {
  out.put("# vtk DataFile Version 3.0\nverdask thickness map\nASCII\nDATASET UNSTRUCTURED_GRID\n");
  out.put("POINTS ");
  out.putInt(mesh.count());
  out.put(" double\n");
  for (int i = 0; i < mesh.count(); ++i) {
    const Coord3& p = mesh.point(i);
    out.putShortest(p.x);
    out.put(' ');
    out.putShortest(p.y);
    out.put(' ');
    out.putShortest(p.z);
    out.put('\n');
  }
  long long size = 0;
  for (int e = 0; e < elements.count(); ++e) size += 1 + cornersOf(elements, e);
  out.put("CELLS ");
  out.putInt(elements.count());
  out.put(' ');
  out.putInt(size);
  out.put('\n');
  for (int e = 0; e < elements.count(); ++e) {
    out.putInt(cornersOf(elements, e));
    for (int k = 0; k < cornersOf(elements, e); ++k) {
      out.put(' ');
      out.putInt(elements.of(e)[k] - 1);
    }
    out.put('\n');
  }
  out.put("CELL_TYPES ");
  out.putInt(elements.count());
  out.put('\n');
  for (int e = 0; e < elements.count(); ++e) {
    out.putInt(elements.isTriangle(e) ? kVtkTriangle : kVtkQuad);
    out.put('\n');
  }
  out.put("POINT_DATA ");
  out.putInt(mesh.count());
  // The thickness as the active scalars, so that a viewer colours by it on opening.
  out.put("\nSCALARS thickness float 1\nLOOKUP_TABLE default\n");
  for (int i = 0; i < mesh.count(); ++i) {
    out.putShortest(thickness[i]);
    out.put('\n');
  }
  bool ownNodes = !elements.nodeNumbers.empty(), ownElements = !elements.numbers.empty();
  auto profiles = profileArrays(record);
  const std::vector<float>& raw = record.measuredThickness;
  out.put("FIELD FieldData ");
  out.putInt(4 + ownNodes + static_cast<int>(profiles.size()) + !raw.empty());
  out.put('\n');
  if (!raw.empty()) writeFieldArray(out, "raw_thickness", "float", raw.data(), raw.size());
  writeFieldArray(out, "angle", "double", record.angles.data(), record.angles.size());
  writeFieldArray(out, "cortical_vertex", "int", record.corticalVertices.data(),
                  record.corticalVertices.size());
  writeFieldArray(out, "mesh_to_cortical", "double", record.meshToCortical.data(),
                  record.meshToCortical.size());
  std::vector<int32_t> quality = qualityCodes(record);
  writeFieldArray(out, "quality", "int", quality.data(), quality.size());
  if (ownNodes) {
    writeFieldArray(out, "node", "int", elements.nodeNumbers.data(), elements.nodeNumbers.size());
  }
  for (const auto& [name, values] : profiles) {
    writeFieldArray(out, name, "double", values.data(), values.size());
  }
  if (!ownElements && elements.parts.empty()) return;
  out.put("CELL_DATA ");
  out.putInt(elements.count());
  out.put(ownElements && !elements.parts.empty() ? "\nFIELD FieldData 2\n"
                                                 : "\nFIELD FieldData 1\n");
  if (ownElements) {
    writeFieldArray(out, "element", "int", elements.numbers.data(), elements.numbers.size());
  }
  if (!elements.parts.empty()) {
    writeFieldArray(out, "part", "int", elements.parts.data(), elements.parts.size());
  }
}

// VTK XML's inline binary form: the byte count (UInt64) and the bytes, each in base64.
void putBase64(TextWriter& out, const void* data, size_t size) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; i += 3) {
    uint32_t group = bytes[i] << 16;
    if (i + 1 < size) group |= bytes[i + 1] << 8;
    if (i + 2 < size) group |= bytes[i + 2];
    char text[4] = {kDigits[group >> 18 & 63], kDigits[group >> 12 & 63],
                    i + 1 < size ? kDigits[group >> 6 & 63] : '=',
                    i + 2 < size ? kDigits[group & 63] : '='};
    out.put(text, 4);
  }
}

template <typename Value>
void writeXmlArray(TextWriter& out, const char* name, const char* type, int components,
                   const std::vector<Value>& values) {
  out.put("<DataArray type=\"");
  out.put(type);
  out.put("\" Name=\"");
  out.put(name);
  out.put("\" NumberOfComponents=\"");
  out.putInt(components);
  out.put("\" format=\"binary\">\n");
  uint64_t bytes = values.size() * sizeof(Value);
  putBase64(out, &bytes, sizeof bytes);
  putBase64(out, values.data(), bytes);
  out.put("\n</DataArray>\n");
}

// VTK XML, as an unstructured grid (.vtu) or as polygonal data (.vtp).
void writeXml(TextWriter& out, ViewFormat format, const PointSet& mesh,
              const ShellElements& elements, const float* thickness, const PassRecord& record) {
  bool polyData = format == ViewFormat::kPolyDataXml;
  const char* kind = polyData ? "PolyData" : "UnstructuredGrid";
  size_t cells = elements.count();
  out.put("<?xml version=\"1.0\"?>\n<VTKFile type=\"");
  out.put(kind);
  out.put("\" version=\"1.0\" byte_order=\"LittleEndian\" header_type=\"UInt64\">\n<");
  out.put(kind);
  out.put(">\n<Piece NumberOfPoints=\"");
  out.putInt(mesh.count());
  out.put(polyData ? "\" NumberOfPolys=\"" : "\" NumberOfCells=\"");
  out.putInt(static_cast<long long>(cells));
  out.put("\">\n<Points>\n");
  writeXmlArray(out, "Points", "Float64", 3,
                std::vector<double>(mesh.coords(), mesh.coords() + 3 * size_t(mesh.count())));
  out.put(polyData ? "</Points>\n<Polys>\n" : "</Points>\n<Cells>\n");
  std::vector<int32_t> connectivity, offsets;
  std::vector<uint8_t> types;
  for (int e = 0; e < elements.count(); ++e) {
    for (int k = 0; k < cornersOf(elements, e); ++k) connectivity.push_back(elements.of(e)[k] - 1);
    offsets.push_back(static_cast<int32_t>(connectivity.size()));
    types.push_back(elements.isTriangle(e) ? kVtkTriangle : kVtkQuad);
  }
  writeXmlArray(out, "connectivity", "Int32", 1, connectivity);
  writeXmlArray(out, "offsets", "Int32", 1, offsets);
  if (!polyData) writeXmlArray(out, "types", "UInt8", 1, types);
  out.put(polyData ? "</Polys>\n" : "</Cells>\n");
  out.put("<PointData Scalars=\"thickness\">\n");
  writeXmlArray(out, "thickness", "Float32", 1,
                std::vector<float>(thickness, thickness + mesh.count()));
  if (!record.measuredThickness.empty()) {
    writeXmlArray(out, "raw_thickness", "Float32", 1, record.measuredThickness);
  }
  writeXmlArray(out, "angle", "Float64", 1, record.angles);
  writeXmlArray(out, "cortical_vertex", "Int32", 1, record.corticalVertices);
  writeXmlArray(out, "mesh_to_cortical", "Float64", 1, record.meshToCortical);
  writeXmlArray(out, "quality", "Int32", 1, qualityCodes(record));
  if (!elements.nodeNumbers.empty()) writeXmlArray(out, "node", "Int32", 1, elements.nodeNumbers);
  for (const auto& [name, values] : profileArrays(record)) {
    writeXmlArray(out, name, "Float64", 1, values);
  }
  out.put("</PointData>\n");
  if (!elements.numbers.empty() || !elements.parts.empty()) {
    out.put("<CellData>\n");
    if (!elements.numbers.empty()) writeXmlArray(out, "element", "Int32", 1, elements.numbers);
    if (!elements.parts.empty()) writeXmlArray(out, "part", "Int32", 1, elements.parts);
    out.put("</CellData>\n");
  }
  out.put("</Piece>\n</");
  out.put(kind);
  out.put(">\n</VTKFile>\n");
}

bool endsWith(const std::string& name, const char* ending) {
  size_t length = strlen(ending);
  return name.size() >= length && name.compare(name.size() - length, length, ending) == 0;
}

}  // namespace

ViewFormat viewFormatOf(const std::string& name) {
  if (endsWith(name, ".vtu")) return ViewFormat::kUnstructuredXml;
  if (endsWith(name, ".vtp")) return ViewFormat::kPolyDataXml;
  return ViewFormat::kLegacy;
}

Status writeThicknessView(FILE* view, ViewFormat format, const PointSet& mesh,
                          const ShellElements& elements, const float* thickness,
                          const PassRecord& record) {
  TextWriter out(view);
  if (format == ViewFormat::kLegacy) {
    writeLegacy(out, mesh, elements, thickness, record);
  } else {
    writeXml(out, format, mesh, elements, thickness, record);
  }
  return out.finished();
}

}  // namespace verdask
