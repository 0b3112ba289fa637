// Writes a synthetic bone: a femoral-shaft-like closed tube as the cortical
// surface with its outward normals, a trabecular surface inside it at a
// smoothly varying depth, and a triangle mesh near the cortical surface.
//
//   make_bone <dir> <mesh nodes> <surface vertices> [seed]
//
// Same arguments, same bytes.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLength = 200.0;

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

double radius(double z) { return 13.5 + 1.5 * std::sin(2 * kPi * z / kLength * 1.5); }
double radiusSlope(double z) {
  return 1.5 * std::cos(2 * kPi * z / kLength * 1.5) * 2 * kPi / kLength * 1.5;
}
// Between 0.5 and 4.0, smooth around and along the shaft.
double depth(double theta, double z) {
  return 2.25 + 1.75 * std::sin(3 * theta) * std::cos(2 * kPi * z / kLength * 2.0);
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

std::vector<TubePoint> sampleTube(Random& random, long long count) {
  std::vector<TubePoint> points(count);
  for (TubePoint& p : points) p = {2 * kPi * random.uniform(), kLength * random.uniform()};
  return points;
}

void writeSurface(const std::string& path, const std::vector<TubePoint>& points, bool inner) {
  Output out(path);
  out << "# synthetic bone surface\nVertices " << static_cast<long long>(points.size()) << "\n";
  for (const TubePoint& p : points) {
    double r = radius(p.z) - (inner ? depth(p.theta, p.z) : 0.0);
    out << r * std::cos(p.theta) << " " << r * std::sin(p.theta) << " " << p.z << "\n";
  }
}

void writeNormals(const std::string& path, const std::vector<TubePoint>& points) {
  Output out(path);
  long long n = static_cast<long long>(points.size());
  out << "# vtk DataFile Version 3.0\nsynthetic cortical surface\nASCII\nDATASET POLYDATA\n";
  out << "POINTS " << n << " float\n";
  for (const TubePoint& p : points) {
    double r = radius(p.z);
    out << r * std::cos(p.theta) << " " << r * std::sin(p.theta) << " " << p.z << "\n";
  }
  out << "POINT_DATA " << n << "\nNORMALS Normals float\n";
  for (long long i = 0; i < n; ++i) {
    const TubePoint& p = points[i];
    double slope = -radiusSlope(p.z);
    double length = std::sqrt(1.0 + slope * slope);
    out << std::cos(p.theta) / length << " " << std::sin(p.theta) / length << " " << slope / length;
    out << (i % 3 == 2 || i == n - 1 ? "\n" : " ");
  }
}

// A grid of around x along nodes near the surface, two triangles to each cell.
void writeMesh(const std::string& path, Random& random, long long nodes) {
  long long around = std::max(3LL, std::llround(std::sqrt(nodes * 85.0 / kLength)));
  long long along = std::max(2LL, nodes / around);
  Output out(path);
  out << "BEGIN DATA\nBEGIN NODES\n";
  for (long long j = 0; j < along; ++j) {
    for (long long i = 0; i < around; ++i) {
      double theta = 2 * kPi * (i + 0.5 * (j % 2)) / around;
      double z = kLength * (j + 0.5) / along;
      double r = radius(z) + 0.4 * (random.uniform() - 0.5);
      out << "*node(" << j * around + i + 1 << "," << r * std::cos(theta) << ","
          << r * std::sin(theta) << "," << z << ",0,0,0,0,0)\n";
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
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: make_bone <dir> <mesh nodes> <surface vertices> [seed]\n");
    return 2;
  }
  std::string dir = argv[1];
  long long nodes = atoll(argv[2]);
  long long vertices = atoll(argv[3]);
  Random random{argc > 4 ? strtoull(argv[4], nullptr, 10) : 1};
  std::vector<TubePoint> cortical = sampleTube(random, vertices);
  writeSurface(dir + "/cort.surf", cortical, false);
  writeNormals(dir + "/norm.vtk", cortical);
  writeSurface(dir + "/trab.surf", sampleTube(random, vertices), true);
  writeMesh(dir + "/mesh.hmascii", random, nodes);
  return 0;
}
