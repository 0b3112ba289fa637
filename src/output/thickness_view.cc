#include "output/thickness_view.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "io/text_writer.h"

namespace verdask {

namespace {

// VTK's ASCII reader takes no "nan"; an angle without a direction is written as this.
constexpr double kNoAngle = -1.0;

template <typename Value>
void writeScalars(TextWriter& out, const char* name, const char* type, const Value* values,
                  size_t count) {
  out.put("SCALARS ");
  out.put(name);
  out.put(' ');
  out.put(type);
  out.put(" 1\nLOOKUP_TABLE default\n");
  for (size_t i = 0; i < count; ++i) {
    if constexpr (std::is_integral_v<Value>) {
      out.putInt(values[i]);
    } else {
      out.putShortest(std::isnan(values[i]) ? static_cast<Value>(kNoAngle) : values[i]);
    }
    out.put('\n');
  }
}

struct ThicknessStatistics {
  double minimum = INFINITY, maximum = -INFINITY, mean = 0, deviation = 0;
};

ThicknessStatistics statisticsOf(const float* thickness, size_t count) {
  ThicknessStatistics s;
  for (size_t i = 0; i < count; ++i) {
    s.minimum = std::min<double>(s.minimum, thickness[i]);
    s.maximum = std::max<double>(s.maximum, thickness[i]);
    s.mean += thickness[i];
  }
  s.mean /= count;
  for (size_t i = 0; i < count; ++i)
    s.deviation += (thickness[i] - s.mean) * (thickness[i] - s.mean);
  s.deviation = std::sqrt(s.deviation / count);
  return s;
}

void printHistogram(const float* thickness, size_t count, const ThicknessStatistics& s) {
  constexpr int kBins = 10;
  int bins[kBins] = {};
  double width = (s.maximum - s.minimum) / kBins;
  for (size_t i = 0; i < count; ++i) {
    int bin = width > 0 ? static_cast<int>((thickness[i] - s.minimum) / width) : 0;
    ++bins[std::min(bin, kBins - 1)];  // the maximum closes the last bin
  }
  int tallest = *std::max_element(bins, bins + kBins);
  printf("thickness histogram :\n");
  for (int b = 0; b < kBins; ++b) {
    printf("  %12.6f - %12.6f : %8d %s\n", s.minimum + b * width, s.minimum + (b + 1) * width,
           bins[b], std::string(tallest ? 40 * bins[b] / tallest : 0, '#').c_str());
  }
}

}  // namespace

int writeThicknessVtk(FILE* vtk, const PointSet& mesh, const std::vector<int>& corners,
                      const float* thickness, const PassRecord& record) {
  TextWriter out(vtk);
  out.put("# vtk DataFile Version 3.0\nverdask thickness map\nASCII\nDATASET POLYDATA\nPOINTS ");
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
  size_t triangles = corners.size() / 3;
  out.put("POLYGONS ");
  out.putInt(triangles);
  out.put(' ');
  out.putInt(4 * triangles);
  out.put('\n');
  for (size_t t = 0; t < triangles; ++t) {
    out.put('3');
    for (size_t k = 0; k < 3; ++k) {
      out.put(' ');
      out.putInt(corners[3 * t + k] - 1);
    }
    out.put('\n');
  }
  out.put("POINT_DATA ");
  out.putInt(mesh.count());
  out.put('\n');
  writeScalars(out, "thickness", "float", thickness, mesh.count());
  writeScalars(out, "angle", "double", record.angles.data(), record.angles.size());
  writeScalars(out, "cortical_vertex", "int", record.corticalVertices.data(),
               record.corticalVertices.size());
  return out.finish() ? 0 : -1;
}

void printRunSummary(int triangles, const float* thickness, const PassRecord& record) {
  size_t count = record.angles.size();
  ThicknessStatistics s = statisticsOf(thickness, count);
  printf("\nRun summary\n");
  printf("mesh vertices       : %zu\n", count);
  printf("triangles           : %d\n", triangles);
  printf("thickness minimum   : %.6f\n", s.minimum);
  printf("thickness mean      : %.6f\n", s.mean);
  printf("thickness maximum   : %.6f\n", s.maximum);
  printf("thickness std dev   : %.6f\n", s.deviation);
  printf("raised to minimum   : %d\n", record.raisedToMin);
  printf("lowered to maximum  : %d\n", record.loweredToMax);
  printf("angles not a number : %ld\n", std::count_if(record.angles.begin(), record.angles.end(),
                                                      [](double a) { return std::isnan(a); }));
  printHistogram(thickness, count, s);
}

}  // namespace verdask
