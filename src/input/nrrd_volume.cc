// NRRD (.nrrd, .nhdr): a "NRRD000n" line, "field: value" lines, a blank
// line and the voxels, or a detached data file.
#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>

#include "input/volume.h"

namespace verdask {

namespace {

VoxelType nrrdTypeOf(const std::string& name) {
  static const std::map<std::string, VoxelType> kTypes = {
      {"signed char", VoxelType::kInt8},
      {"int8", VoxelType::kInt8},
      {"int8_t", VoxelType::kInt8},
      {"uchar", VoxelType::kUInt8},
      {"unsigned char", VoxelType::kUInt8},
      {"uint8", VoxelType::kUInt8},
      {"uint8_t", VoxelType::kUInt8},
      {"short", VoxelType::kInt16},
      {"short int", VoxelType::kInt16},
      {"signed short", VoxelType::kInt16},
      {"signed short int", VoxelType::kInt16},
      {"int16", VoxelType::kInt16},
      {"int16_t", VoxelType::kInt16},
      {"ushort", VoxelType::kUInt16},
      {"unsigned short", VoxelType::kUInt16},
      {"unsigned short int", VoxelType::kUInt16},
      {"uint16", VoxelType::kUInt16},
      {"uint16_t", VoxelType::kUInt16},
      {"int", VoxelType::kInt32},
      {"signed int", VoxelType::kInt32},
      {"int32", VoxelType::kInt32},
      {"int32_t", VoxelType::kInt32},
      {"uint", VoxelType::kUInt32},
      {"unsigned int", VoxelType::kUInt32},
      {"uint32", VoxelType::kUInt32},
      {"uint32_t", VoxelType::kUInt32},
      {"longlong", VoxelType::kInt64},
      {"long long", VoxelType::kInt64},
      {"long long int", VoxelType::kInt64},
      {"signed long long", VoxelType::kInt64},
      {"signed long long int", VoxelType::kInt64},
      {"int64", VoxelType::kInt64},
      {"int64_t", VoxelType::kInt64},
      {"ulonglong", VoxelType::kUInt64},
      {"unsigned long long", VoxelType::kUInt64},
      {"unsigned long long int", VoxelType::kUInt64},
      {"uint64", VoxelType::kUInt64},
      {"uint64_t", VoxelType::kUInt64},
      {"float", VoxelType::kFloat32},
      {"double", VoxelType::kFloat64}};
  auto found = kTypes.find(name);
  return found == kTypes.end() ? VoxelType::kUnknown : found->second;
}

// The header's fields by name (in lower case, spaces kept) up to its blank
// line; `dataAt` is where the bytes after it begin. False when the magic line is missing.
bool readFields(const std::string& bytes, std::map<std::string, std::string>& fields,
                size_t& dataAt) {
  if (bytes.compare(0, 7, "NRRD000") != 0) return false;
  size_t at = bytes.find('\n');
  while (at != std::string::npos && at < bytes.size()) {
    size_t end = bytes.find('\n', at + 1);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(at + 1, end - at - 1);
    at = end;
    if (trimmedText(line).empty()) break;
    size_t colon = line.find(": "), pair = line.find(":=");
    // Comments and key/value pairs (key:=value) are no fields.
    if (line[0] == '#' || colon == std::string::npos || pair < colon) continue;
    std::string key = line.substr(0, colon);
    for (char& c : key) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    fields[key] = trimmedText(line.substr(colon + 2));
  }
  dataAt = std::min(at == std::string::npos ? bytes.size() : at + 1, bytes.size());
  return true;
}

std::string fieldOf(const std::map<std::string, std::string>& fields, const char* name) {
  auto found = fields.find(name);
  return found == fields.end() ? "" : found->second;
}

// The axes' signs that turn the file's space into LPS; false for a space of
// other than 3 dimensions.
bool spaceSigns(const std::string& space, double signs[3]) {
  static const std::map<std::string, int> kFlips = {{"right-anterior-superior", 3},
                                                    {"ras", 3},
                                                    {"left-anterior-superior", 2},
                                                    {"las", 2},
                                                    {"left-posterior-superior", 0},
                                                    {"lps", 0},
                                                    {"scanner-xyz", 0},
                                                    {"3d-right-handed", 0},
                                                    {"3d-left-handed", 0}};
  std::string lower = space;
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  auto found = kFlips.find(lower);
  if (found == kFlips.end()) return false;
  signs[0] = found->second & 1 ? -1 : 1;
  signs[1] = found->second & 2 ? -1 : 1;
  signs[2] = 1;
  return true;
}

// Reads the place of the image: its sizes, and its axes and origin from the
// space fields, or else its spacings.
std::string placeImage(const std::map<std::string, std::string>& fields, Volume& volume) {
  std::string dimension = fieldOf(fields, "dimension");
  if (dimension != "3") return "is " + (dimension.empty() ? "of no" : dimension + "D") + ", not 3D";
  double numbers[9];
  if (!parseNumbers(fieldOf(fields, "sizes"), 3, numbers)) return "has no sizes of 3 numbers";
  for (int axis = 0; axis < 3; ++axis) {
    if (!(numbers[axis] >= 0 && numbers[axis] < 1e12)) return "has sizes out of range";
    volume.size[axis] = static_cast<long long>(numbers[axis]);
  }
  std::string space = fieldOf(fields, "space"), directions = fieldOf(fields, "space directions");
  if (space.empty() && directions.empty()) {
    std::string spacings = fieldOf(fields, "spacings");
    if (!spacings.empty() && !parseNumbers(spacings, 3, volume.spacing)) {
      return "has spacings of other than 3 numbers";
    }
    return "";
  }
  double signs[3];
  if (!spaceSigns(space.empty() ? "lps" : space, signs)) {
    return "is in a space '" + space + "' of other than 3 dimensions";
  }
  if (!parseNumbers(directions, 9, numbers)) return "has space directions of other than 3 vectors";
  for (int axis = 0; axis < 3; ++axis) {
    const double* v = numbers + 3 * axis;
    volume.spacing[axis] = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int r = 0; r < 3; ++r) {
      volume.direction[r][axis] =
          signs[r] * v[r] / (volume.spacing[axis] > 0 ? volume.spacing[axis] : 1) + 0.0;
    }
  }
  std::string origin = fieldOf(fields, "space origin");
  if (!origin.empty() && !parseNumbers(origin, 3, volume.origin)) {
    return "has a space origin of other than 3 numbers";
  }
  for (int r = 0; r < 3; ++r) volume.origin[r] = signs[r] * volume.origin[r] + 0.0;
  return "";
}

// Reads voxels written as text.
std::string textVoxels(const std::string& text, Volume& volume) {
  size_t count = volume.voxelCount();
  std::string fewer = "holds fewer voxels than its header promises, " + std::to_string(count);
  if (text.size() < count) return fewer;  // each takes a character at least
  volume.voxels.reset(new float[count]);
  const char* at = text.c_str();
  for (size_t i = 0; i < count; ++i) {
    while (*at && (isspace(static_cast<unsigned char>(*at)) || *at == ',')) ++at;
    char* end;
    volume.voxels[i] = static_cast<float>(strtod(at, &end));
    if (end == at) return fewer;
    at = end;
  }
  return "";
}

// The voxels' bytes: after the header, or in the data file it names,
// inflated where the encoding says so; why not, or empty.
std::string voxelBytesOf(const std::string& bytes, size_t dataAt, const std::string& folder,
                         const std::map<std::string, std::string>& fields, size_t expected,
                         std::string& data) {
  std::string file = fieldOf(fields, "data file");
  if (file.empty()) file = fieldOf(fields, "datafile");
  const std::string* source = &bytes;
  std::string detached;
  if (!file.empty()) {
    if (file.find(' ') != std::string::npos || file.rfind("LIST", 0) == 0 ||
        !readFileBytes(folder + file, detached)) {
      return "names a data file '" + file + "' that cannot be read";
    }
    source = &detached;
    dataAt = 0;
  }
  std::string encoding = fieldOf(fields, "encoding");
  size_t available = source->size() - dataAt;
  if (encoding == "gzip" || encoding == "gz") {
    if (!inflateData(source->data() + dataAt, available, expected, data)) {
      return "holds gzip voxels that do not inflate to the " + std::to_string(expected) +
             " bytes its header promises";
    }
    return "";
  }
  if (encoding != "raw" && encoding != "ascii" && encoding != "text" && encoding != "txt") {
    return "has the encoding '" + encoding + "', which is not read";
  }
  long long skip = atoll(fieldOf(fields, "byte skip").c_str());
  // Byte skip -1: the voxels are the data's last bytes.
  if (skip == -1 && available >= expected) skip = static_cast<long long>(available - expected);
  if (skip < 0 || static_cast<size_t>(skip) > available) return "has a byte skip past its end";
  data.assign(*source, dataAt + skip, std::string::npos);
  return "";
}

}  // namespace

std::string parseNrrd(const std::string& bytes, const std::string& folder, Volume& volume,
                      int threads) {
  volume.format = "NRRD";
  std::map<std::string, std::string> fields;
  size_t dataAt = 0;
  if (!readFields(bytes, fields, dataAt)) return "is no NRRD file: it does not begin NRRD000";
  if (std::string why = placeImage(fields, volume); !why.empty()) return why;
  VoxelType type = nrrdTypeOf(fieldOf(fields, "type"));
  if (type == VoxelType::kUnknown) {
    return "has voxels of type '" + fieldOf(fields, "type") + "', which is not read";
  }
  if (std::string why = checkGeometry(volume); !why.empty()) return why;
  size_t expected = volume.voxelCount() * voxelBytes(type);
  std::string data;
  if (std::string why = voxelBytesOf(bytes, dataAt, folder, fields, expected, data); !why.empty()) {
    return why;
  }
  std::string encoding = fieldOf(fields, "encoding");
  if (encoding == "ascii" || encoding == "text" || encoding == "txt") {
    volume.voxelType = voxelTypeName(type);
    return textVoxels(data, volume);
  }
  bool bigEndian = fieldOf(fields, "endian") == "big";
  return convertVoxels(data.data(), data.size(), type, bigEndian && voxelBytes(type) > 1, 1, 0,
                       volume, threads);
}

}  // namespace verdask
