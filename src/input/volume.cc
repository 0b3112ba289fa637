#include "input/volume.h"

#include <strings.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

#include "base/parallel.h"

namespace verdask {

namespace {

// Four billion voxels: 16 GB of floats, beyond any scan this tool is for.
constexpr long long kMostVoxels = 1LL << 32;

template <typename Stored>
void convertAs(const unsigned char* bytes, bool swap, double slope, double intercept, size_t count,
               float* out) {
  Stored value;
  if (!swap) {
    // Apart from the swapping loop, so that the compiler converts many voxels at once.
    for (size_t i = 0; i < count; ++i) {
      memcpy(&value, bytes + i * sizeof(Stored), sizeof(Stored));
      out[i] = static_cast<float>(slope * static_cast<double>(value) + intercept);
    }
    return;
  }
  unsigned char copy[sizeof(Stored)];
  for (size_t i = 0; i < count; ++i, bytes += sizeof(Stored)) {
    for (size_t b = 0; b < sizeof(Stored); ++b) copy[b] = bytes[sizeof(Stored) - 1 - b];
    memcpy(&value, copy, sizeof(Stored));
    out[i] = static_cast<float>(slope * static_cast<double>(value) + intercept);
  }
}

bool endsWith(const char* name, const char* ending) {
  size_t length = strlen(name), tail = strlen(ending);
  return length >= tail && strcasecmp(name + length - tail, ending) == 0;
}

// The folder of a path, with its slash; empty for a bare name.
std::string folderOf(const char* name) {
  const char* slash = strrchr(name, '/');
  return slash ? std::string(name, slash - name + 1) : "";
}

}  // namespace

int voxelBytes(VoxelType type) { return static_cast<int>(sizeOf(type)); }

const char* voxelTypeName(VoxelType type) {
  static const char* const kNames[] = {"int8",  "uint8",  "int16",   "uint16",  "int32",  "uint32",
                                       "int64", "uint64", "float32", "float64", "unknown"};
  return kNames[static_cast<int>(type)];
}

std::string convertVoxels(const char* data, size_t available, VoxelType type, bool swap,
                          double slope, double intercept, Volume& volume, int threads) {
  if (type == VoxelType::kUnknown) return "has voxels of an unknown type";
  size_t count = volume.voxelCount(), need = count * voxelBytes(type);
  if (available < need) {
    return "holds " + std::to_string(available) + " bytes of voxels, its header promises " +
           std::to_string(need);
  }
  volume.voxelType = voxelTypeName(type);
  volume.voxels.reset(new float[count]);
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  float* out = volume.voxels.get();
  using Converter = void (*)(const unsigned char*, bool, double, double, size_t, float*);
  // In the order of VoxelType.
  static const Converter kConverters[] = {convertAs<int8_t>,
                                          convertAs<uint8_t>,
                                          convertAs<int16_t>,
                                          convertAs<uint16_t>,
                                          convertAs<int32_t>,
                                          convertAs<uint32_t>,
                                          convertAs<int64_t>,
                                          convertAs<uint64_t>,
                                          convertAs<float>,
                                          convertAs<double>,
                                          nullptr};
  Converter convert = kConverters[static_cast<int>(type)];
  // A share for each thread: the voxels are millions, and as many floats' pages to touch.
  size_t share = (count + threads - 1) / std::max(threads, 1), size = voxelBytes(type);
  std::vector<std::function<void()>> shares;
  for (size_t begin = 0; begin < count; begin += share) {
    size_t n = std::min(share, count - begin);
    shares.push_back(
        [=] { convert(bytes + begin * size, swap, slope, intercept, n, out + begin); });
  }
  runTasks(threads, shares);
  return "";
}

std::string trimmedText(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r"), last = text.find_last_not_of(" \t\r");
  return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

bool parseNumbers(const std::string& text, int count, double* numbers) {
  const char* at = text.c_str();
  int found = 0;
  for (;;) {
    while (*at && (isspace(static_cast<unsigned char>(*at)) || strchr(",()", *at))) ++at;
    if (!*at) return found == count;
    char* end;
    double value = strtod(at, &end);
    if (end == at || found == count) return false;
    numbers[found++] = value;
    at = end;
  }
}

bool inflateData(const char* data, size_t size, size_t expected, std::string& out) {
  // Deflate packs at most 1032 bytes into one: more promised cannot be there.
  if (expected / 1032 > size + 64) return false;
  out.assign(expected, '\0');
  z_stream stream{};
  if (inflateInit2(&stream, 15 + 32) != Z_OK) return false;  // zlib or gzip, by the header
  size_t fed = 0, done = 0;
  // In pieces: a z_stream counts in 32 bits.
  while (done < expected) {
    if (stream.avail_in == 0 && fed < size) {
      stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data + fed));
      stream.avail_in = static_cast<uInt>(std::min<size_t>(size - fed, UINT_MAX));
      fed += stream.avail_in;
    }
    stream.next_out = reinterpret_cast<Bytef*>(&out[done]);
    stream.avail_out = static_cast<uInt>(std::min<size_t>(expected - done, UINT_MAX));
    uInt room = stream.avail_out;
    int status = inflate(&stream, Z_NO_FLUSH);
    done += room - stream.avail_out;
    if (status != Z_OK) break;
  }
  inflateEnd(&stream);
  return done == expected;
}

bool readFileBytes(const std::string& path, std::string& bytes) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  bytes.clear();
  char buffer[1 << 16];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  bool read = !ferror(file);
  fclose(file);
  return read;
}

std::string checkGeometry(const Volume& volume) {
  long long count = 1;
  for (int axis = 0; axis < 3; ++axis) {
    if (volume.size[axis] < 2) return "has fewer than 2 voxels along an axis: it is not 3D";
    if (volume.size[axis] > kMostVoxels / count) return "has more voxels than can be held";
    count *= volume.size[axis];
    if (!std::isfinite(volume.spacing[axis]) || !(volume.spacing[axis] > 0)) {
      return "has a spacing of " + std::to_string(volume.spacing[axis]) + " along axis " +
             std::to_string(axis + 1) + ": it must be finite and positive";
    }
  }
  const double(*d)[3] = volume.direction;
  double determinant = d[0][0] * (d[1][1] * d[2][2] - d[1][2] * d[2][1]) -
                       d[0][1] * (d[1][0] * d[2][2] - d[1][2] * d[2][0]) +
                       d[0][2] * (d[1][0] * d[2][1] - d[1][1] * d[2][0]);
  bool finite = std::isfinite(determinant);
  for (double o : volume.origin) finite = finite && std::isfinite(o);
  if (!finite || std::fabs(determinant) < 1e-6) {
    return "has an origin or direction that is not finite, or axes that do not span space";
  }
  return "";
}

bool isVolumeName(const char* name) {
  for (const char* ending : {".nii", ".nii.gz", ".hdr", ".mha", ".mhd", ".nrrd", ".nhdr"}) {
    if (endsWith(name, ending)) return true;
  }
  return false;
}

std::string readVolume(const char* name, Volume& volume, int threads) {
  std::string why;
  if (endsWith(name, ".nii") || endsWith(name, ".nii.gz") || endsWith(name, ".hdr")) {
    why = readNifti(name, volume, threads);
  } else if (!isVolumeName(name)) {
    return "is none of .nii, .nii.gz, .hdr, .mha, .mhd, .nrrd, .nhdr";
  } else {
    std::string bytes;
    if (!readFileBytes(name, bytes)) return "cannot be read";
    bool meta = endsWith(name, ".mha") || endsWith(name, ".mhd");
    why = meta ? parseMetaImage(bytes, folderOf(name), volume, threads)
               : parseNrrd(bytes, folderOf(name), volume, threads);
  }
  return why;
}

}  // namespace verdask
