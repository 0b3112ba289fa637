// Writes a synthetic bone: a femoral-shaft-like open tube as the cortical
// surface with its outward normals, a trabecular surface inside it at a
// smoothly varying depth, both triangulated, a triangle mesh near the
// cortical surface, and the analytic thickness at every mesh vertex.
//
//   make_bone <dir> <mesh nodes> <surface vertices> [seed] [grid]
//
// The surfaces hold about the given number of vertices each. `grid` makes a
// tie-heavy bone: coordinates in tenths of a millimetre, surface vertices
// rounded to whole numbers and mesh vertices to halves.
//
// truth.txt holds, per mesh vertex, what the tool measures on the smooth
// surfaces: p, the point of the outer surface nearest the vertex; q, the point
// of the inner surface nearest p; the distance |p - q| and the angle between
// the outer normal at p and p - q (degrees).
//
// Same arguments, same bytes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLength = 200.0;
constexpr double kMeanRadius = 13.5;

// splitmix64: the same stream on every platform.
struct Random {
  uint64_t state;
  double uniform() {  // [0, 1)
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
  }
};

struct Vec {
  double x, y, z;
  Vec operator-(const Vec& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec operator+(const Vec& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec operator*(double s) const { return {x * s, y * s, z * s}; }
  double dot(const Vec& o) const { return x * o.x + y * o.y + z * o.z; }
  double length() const { return std::sqrt(dot(*this)); }
};

// The outer radius along the shaft, and the shell's depth below it.
double radius(double z) { return kMeanRadius + 1.5 * std::sin(2 * kPi * z / kLength * 1.5); }
double radiusSlope(double z) {
  return 1.5 * std::cos(2 * kPi * z / kLength * 1.5) * 2 * kPi / kLength * 1.5;
}
// Between 0.5 and 4.0, smooth around and along the shaft.
double depth(double theta, double z) {
  return 2.25 + 1.75 * std::sin(3 * theta) * std::cos(2 * kPi * z / kLength * 2.0);
}
double depthByTheta(double theta, double z) {
  return 1.75 * 3 * std::cos(3 * theta) * std::cos(2 * kPi * z / kLength * 2.0);
}
double depthByZ(double theta, double z) {
  return -1.75 * std::sin(3 * theta) * std::sin(2 * kPi * z / kLength * 2.0) * 2 * kPi / kLength *
         2.0;
}

// A point of the outer (inner = false) or inner surface with its two tangents.
struct SurfacePoint {
  Vec at, byTheta, byZ;
};

SurfacePoint surfaceAt(double theta, double z, bool inner) {
  double r = radius(z) - (inner ? depth(theta, z) : 0.0);
  double rByTheta = inner ? -depthByTheta(theta, z) : 0.0;
  double rByZ = radiusSlope(z) - (inner ? depthByZ(theta, z) : 0.0);
  double c = std::cos(theta), s = std::sin(theta);
  return {
      {r * c, r * s, z}, {rByTheta * c - r * s, rByTheta * s + r * c, 0}, {rByZ * c, rByZ * s, 1}};
}

Vec outerNormal(double z, double theta) {
  double slope = -radiusSlope(z);
  double length = std::sqrt(1.0 + slope * slope);
  return {std::cos(theta) / length, std::sin(theta) / length, slope / length};
}

// The surface point nearest x, by Gauss-Newton from (theta, z); z stays on
// the shaft. Its fixed point is where x - S is normal to both tangents.
void nearestOnSurface(const Vec& x, bool inner, double* theta, double* z) {
  for (int iteration = 0; iteration < 200; ++iteration) {
    SurfacePoint p = surfaceAt(*theta, *z, inner);
    Vec r = x - p.at;
    double a = p.byTheta.dot(p.byTheta), b = p.byTheta.dot(p.byZ), c = p.byZ.dot(p.byZ);
    double gTheta = p.byTheta.dot(r), gZ = p.byZ.dot(r);
    double det = a * c - b * b;
    double stepTheta = (c * gTheta - b * gZ) / det, stepZ = (a * gZ - b * gTheta) / det;
    *theta += stepTheta;
    *z = std::clamp(*z + stepZ, 0.0, kLength);
    if (std::fabs(stepTheta) < 1e-15 && std::fabs(stepZ) < 1e-13) return;
  }
}

class Output {
 public:
  explicit Output(const std::string& path) : file_(fopen(path.c_str(), "wb")) {
    if (!file_) {
      perror(path.c_str());
      exit(1);
    }
  }
  ~Output() {
    flush();
    fclose(file_);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  Output& operator<<(const char* text) {
    while (*text) put(*text++);
    return *this;
  }
  Output& operator<<(long long value) {
    reserve(24);
    length_ = std::to_chars(buffer_ + length_, buffer_ + sizeof buffer_, value).ptr - buffer_;
    return *this;
  }
  Output& operator<<(double value) {
    reserve(400);
    // Shortest round-trip form, as exporters of doubles write them.
    length_ = std::to_chars(buffer_ + length_, buffer_ + sizeof buffer_, value).ptr - buffer_;
    return *this;
  }
  Output& operator<<(const Vec& v) { return *this << v.x << " " << v.y << " " << v.z; }
  void put(char c) {
    reserve(1);
    buffer_[length_++] = c;
  }

 private:
  void reserve(size_t n) {
    if (sizeof buffer_ - length_ < n) flush();
  }
  void flush() {
    fwrite(buffer_, 1, length_, file_);
    length_ = 0;
  }
  FILE* file_;
  char buffer_[1 << 16];
  size_t length_ = 0;
};

struct TubePoint {
  double theta, z;
};

// A jittered grid of `around` x `along` points over the tube, rows staggered,
// and two triangles (corners from 1) to each cell, wrapping around.
struct TubeGrid {
  long long around, along;
  std::vector<TubePoint> points;
  std::vector<long long> triangles;
};

TubeGrid makeGrid(Random& random, long long vertices) {
  TubeGrid grid;
  grid.around = std::max(3LL, std::llround(std::sqrt(vertices * 2 * kPi * kMeanRadius / kLength)));
  grid.along = std::max(2LL, std::llround(static_cast<double>(vertices) / grid.around));
  for (long long j = 0; j < grid.along; ++j) {
    for (long long i = 0; i < grid.around; ++i) {
      double jitterZ = j == 0 || j + 1 == grid.along ? 0.0 : 0.4 * (random.uniform() - 0.5);
      double theta = 2 * kPi * (i + 0.5 * (j % 2) + 0.4 * (random.uniform() - 0.5)) / grid.around;
      grid.points.push_back({theta, kLength * (j + jitterZ) / (grid.along - 1)});
    }
  }
  auto node = [&grid](long long i, long long j) { return j * grid.around + (i % grid.around) + 1; };
  for (long long j = 0; j + 1 < grid.along; ++j) {
    for (long long i = 0; i < grid.around; ++i) {
      // Staggered rows: an even row's cell leans the other way from an odd row's.
      long long shift = j % 2;
      grid.triangles.insert(grid.triangles.end(),
                            {node(i, j), node(i + 1, j), node(i + shift, j + 1)});
      grid.triangles.insert(grid.triangles.end(),
                            {node(i + 1, j), node(i + 1 + shift, j + 1), node(i + shift, j + 1)});
    }
  }
  return grid;
}

// In grid mode coordinates are in tenths of a millimetre and rounded.
struct Units {
  bool grid;
  Vec surface(const Vec& v) const {
    return grid ? Vec{std::round(v.x * 10), std::round(v.y * 10), std::round(v.z * 10)} : v;
  }
  Vec mesh(const Vec& v) const {
    auto half = [](double c) { return std::floor(c * 10) + 0.5; };
    return grid ? Vec{half(v.x), half(v.y), half(v.z)} : v;
  }
};

void writeTriangles(Output& out, const std::vector<long long>& triangles) {
  for (size_t t = 0; t < triangles.size(); t += 3) {
    out << triangles[t] << " " << triangles[t + 1] << " " << triangles[t + 2] << "\n";
  }
}

void writeSurface(const std::string& path, const TubeGrid& grid, bool inner, const Units& units) {
  Output out(path);
  out << "# HyperSurface 0.1 ASCII\n\nVertices " << static_cast<long long>(grid.points.size())
      << "\n";
  for (const TubePoint& p : grid.points) {
    out << units.surface(surfaceAt(p.theta, p.z, inner).at) << "\n";
  }
  out << "NBranchingPoints 0\nNVerticesOnCurves 0\nBoundaryCurves 0\nPatches 1\n{\n"
         "InnerRegion Inside\nOuterRegion Exterior\nBoundaryID 0\nBranchingPoints 0\n\n"
         "Triangles "
      << static_cast<long long>(grid.triangles.size() / 3) << "\n";
  writeTriangles(out, grid.triangles);
  out << "}\n";
}

void writeNormals(const std::string& path, const TubeGrid& grid, const Units& units) {
  Output out(path);
  long long n = static_cast<long long>(grid.points.size());
  long long triangles = static_cast<long long>(grid.triangles.size() / 3);
  out << "# vtk DataFile Version 3.0\nsynthetic cortical surface\nASCII\nDATASET POLYDATA\n";
  out << "POINTS " << n << " double\n";
  for (const TubePoint& p : grid.points)
    out << units.surface(surfaceAt(p.theta, p.z, false).at) << "\n";
  out << "POLYGONS " << triangles << " " << 4 * triangles << "\n";
  for (size_t t = 0; t < grid.triangles.size(); t += 3) {
    out << "3 " << grid.triangles[t] - 1 << " " << grid.triangles[t + 1] - 1 << " "
        << grid.triangles[t + 2] - 1 << "\n";
  }
  out << "POINT_DATA " << n << "\nNORMALS Normals double\n";
  for (long long i = 0; i < n; ++i) {
    out << outerNormal(grid.points[i].z, grid.points[i].theta);
    out << (i % 3 == 2 || i == n - 1 ? "\n" : " ");
  }
}

// A grid of around x along nodes near the surface, two triangles to each
// cell; returns the nodes.
std::vector<Vec> writeMesh(const std::string& path, Random& random, long long nodes,
                           const Units& units) {
  long long around = std::max(3LL, std::llround(std::sqrt(nodes * 85.0 / kLength)));
  long long along = std::max(2LL, nodes / around);
  std::vector<Vec> points;
  Output out(path);
  out << "BEGIN DATA\nBEGIN NODES\n";
  for (long long j = 0; j < along; ++j) {
    for (long long i = 0; i < around; ++i) {
      double theta = 2 * kPi * (i + 0.5 * (j % 2)) / around;
      double z = kLength * (j + 0.5) / along;
      double r = radius(z) + 0.4 * (random.uniform() - 0.5);
      points.push_back(units.mesh({r * std::cos(theta), r * std::sin(theta), z}));
      out << "*node(" << j * around + i + 1 << "," << points.back().x << "," << points.back().y
          << "," << points.back().z << ",0,0,0,0,0)\n";
    }
  }
  out << "END NODES\nBEGIN COMPONENTS\n*component(1,\"bone\",0,1)\n";
  long long element = 1;
  auto node = [around](long long i, long long j) { return j * around + (i % around) + 1; };
  for (long long j = 0; j + 1 < along; ++j) {
    for (long long i = 0; i < around; ++i) {
      out << "*tri3(" << element++ << ",1," << node(i, j) << "," << node(i + 1, j) << ","
          << node(i, j + 1) << ")\n";
      out << "*tri3(" << element++ << ",1," << node(i + 1, j) << "," << node(i + 1, j + 1) << ","
          << node(i, j + 1) << ")\n";
    }
  }
  out << "END COMPONENTS\nEND DATA\n";
  return points;
}

void writeTruth(const std::string& path, const std::vector<Vec>& nodes) {
  Output out(path);
  out << "MeshVertex\tThickness\tAngle\n";
  for (size_t k = 0; k < nodes.size(); ++k) {
    double theta = std::atan2(nodes[k].y, nodes[k].x), z = nodes[k].z;
    nearestOnSurface(nodes[k], false, &theta, &z);
    Vec p = surfaceAt(theta, z, false).at;
    Vec normal = outerNormal(z, theta);
    nearestOnSurface(p, true, &theta, &z);
    Vec direction = p - surfaceAt(theta, z, true).at;
    double cosine = std::clamp(direction.dot(normal) / direction.length(), -1.0, 1.0);
    out << static_cast<long long>(k + 1) << "\t" << direction.length() << "\t"
        << std::acos(cosine) * 180 / kPi << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: make_bone <dir> <mesh nodes> <surface vertices> [seed] [grid]\n");
    return 2;
  }
  std::string dir = argv[1];
  long long nodes = atoll(argv[2]);
  long long vertices = atoll(argv[3]);
  Random random{argc > 4 ? strtoull(argv[4], nullptr, 10) : 1};
  Units units{argc > 5 && strcmp(argv[5], "grid") == 0};
  TubeGrid cortical = makeGrid(random, vertices);
  writeSurface(dir + "/cort.surf", cortical, false, units);
  writeNormals(dir + "/norm.vtk", cortical, units);
  writeSurface(dir + "/trab.surf", makeGrid(random, vertices), true, units);
  std::vector<Vec> mesh = writeMesh(dir + "/mesh.hmascii", random, nodes, units);
  if (!units.grid) writeTruth(dir + "/truth.txt", mesh);
  return 0;
}
