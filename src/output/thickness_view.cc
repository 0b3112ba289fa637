#include "output/thickness_view.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>

#include "io/text_writer.h"

namespace verdask {

namespace {

// VTK's legacy ASCII reader takes no "nan"; an angle without a direction is written as this.
constexpr double kNoAngle = -1.0;
// The VTK cell type of a triangle.
constexpr uint8_t kVtkTriangle = 5;

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

void writeLegacy(TextWriter& out, const PointSet& mesh, const std::vector<int>& corners,
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
  long long triangles = static_cast<long long>(corners.size() / 3);
  out.put("CELLS ");
  out.putInt(triangles);
  out.put(' ');
  out.putInt(4 * triangles);
  out.put('\n');
  for (long long t = 0; t < triangles; ++t) {
    out.put('3');
    for (int k = 0; k < 3; ++k) {
      out.put(' ');
      out.putInt(corners[3 * t + k] - 1);
    }
    out.put('\n');
  }
  out.put("CELL_TYPES ");
  out.putInt(triangles);
  out.put('\n');
  for (long long t = 0; t < triangles; ++t) out.put("5\n", 2);
  out.put("POINT_DATA ");
  out.putInt(mesh.count());
  out.put("\nFIELD FieldData 3\n");
  writeFieldArray(out, "thickness", "float", thickness, mesh.count());
  writeFieldArray(out, "angle", "double", record.angles.data(), record.angles.size());
  writeFieldArray(out, "cortical_vertex", "int", record.corticalVertices.data(),
                  record.corticalVertices.size());
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

void writeXml(TextWriter& out, const PointSet& mesh, const std::vector<int>& corners,
              const float* thickness, const PassRecord& record) {
  size_t triangles = corners.size() / 3;
  out.put(
      "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" "
      "byte_order=\"LittleEndian\" header_type=\"UInt64\">\n<UnstructuredGrid>\n"
      "<Piece NumberOfPoints=\"");
  out.putInt(mesh.count());
  out.put("\" NumberOfCells=\"");
  out.putInt(static_cast<long long>(triangles));
  out.put("\">\n<Points>\n");
  writeXmlArray(out, "Points", "Float64", 3,
                std::vector<double>(mesh.coords(), mesh.coords() + 3 * size_t(mesh.count())));
  out.put("</Points>\n<Cells>\n");
  std::vector<int32_t> connectivity(corners.begin(), corners.end()), offsets(triangles);
  for (int32_t& corner : connectivity) --corner;
  for (size_t t = 0; t < triangles; ++t) offsets[t] = static_cast<int32_t>(3 * (t + 1));
  writeXmlArray(out, "connectivity", "Int32", 1, connectivity);
  writeXmlArray(out, "offsets", "Int32", 1, offsets);
  writeXmlArray(out, "types", "UInt8", 1, std::vector<uint8_t>(triangles, kVtkTriangle));
  out.put("</Cells>\n<PointData>\n");
  writeXmlArray(out, "thickness", "Float32", 1,
                std::vector<float>(thickness, thickness + mesh.count()));
  writeXmlArray(out, "angle", "Float64", 1, record.angles);
  writeXmlArray(out, "cortical_vertex", "Int32", 1, record.corticalVertices);
  out.put("</PointData>\n</Piece>\n</UnstructuredGrid>\n</VTKFile>\n");
}

}  // namespace

bool isXmlViewName(const std::string& name) {
  return name.size() >= 4 && name.compare(name.size() - 4, 4, ".vtu") == 0;
}

int writeThicknessView(FILE* view, bool xml, const PointSet& mesh, const std::vector<int>& corners,
                       const float* thickness, const PassRecord& record) {
  TextWriter out(view);
  if (xml) {
    writeXml(out, mesh, corners, thickness, record);
  } else {
    writeLegacy(out, mesh, corners, thickness, record);
  }
  return out.finish() ? 0 : -1;
}

}  // namespace verdask
