// MetaImage (.mha, .mhd): "Key = value" lines, the last ElementDataFile,
// which is LOCAL for voxels that follow the header in the same file.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

#include "input/volume.h"

namespace verdask {

namespace {

VoxelType metaTypeOf(const std::string& name) {
  static const std::map<std::string, VoxelType> kTypes = {
      {"MET_CHAR", VoxelType::kInt8},       {"MET_UCHAR", VoxelType::kUInt8},
      {"MET_SHORT", VoxelType::kInt16},     {"MET_USHORT", VoxelType::kUInt16},
      {"MET_INT", VoxelType::kInt32},       {"MET_UINT", VoxelType::kUInt32},
      {"MET_LONG", VoxelType::kInt32},      {"MET_ULONG", VoxelType::kUInt32},
      {"MET_LONG_LONG", VoxelType::kInt64}, {"MET_ULONG_LONG", VoxelType::kUInt64},
      {"MET_FLOAT", VoxelType::kFloat32},   {"MET_DOUBLE", VoxelType::kFloat64}};
  auto found = kTypes.find(name);
  return found == kTypes.end() ? VoxelType::kUnknown : found->second;
}

bool isTrue(const std::string& value) { return strcasecmp(value.c_str(), "true") == 0; }

// The header's fields up to ElementDataFile, by name in upper case; `dataAt`
// is where the bytes after that line begin. False when there is no such line.
bool readFields(const std::string& bytes, std::map<std::string, std::string>& fields,
                size_t& dataAt) {
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(at, end - at);
    at = end + 1;
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = trimmedText(line.substr(0, equals));
    for (char& c : key) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    fields[key] = trimmedText(line.substr(equals + 1));
    if (key == "ELEMENTDATAFILE") {
      dataAt = std::min(at, bytes.size());
      return true;
    }
  }
  return false;
}

// The first of the fields named that the header has, or empty.
std::string fieldOf(const std::map<std::string, std::string>& fields,
                    std::initializer_list<const char*> names) {
  for (const char* name : names) {
    auto found = fields.find(name);
    if (found != fields.end()) return found->second;
  }
  return "";
}

// Reads the place of the image: sizes, spacing, origin and axes.
std::string placeImage(const std::map<std::string, std::string>& fields, Volume& volume) {
  std::string dims = fieldOf(fields, {"NDIMS"});
  if (dims != "3") return "is " + (dims.empty() ? std::string("of no") : dims + "D") + ", not 3D";
  double numbers[9];
  if (!parseNumbers(fieldOf(fields, {"DIMSIZE"}), 3, numbers)) return "has no DimSize of 3 numbers";
  for (int axis = 0; axis < 3; ++axis) {
    if (!(numbers[axis] >= 0 && numbers[axis] < 1e12)) return "has a DimSize out of range";
    volume.size[axis] = static_cast<long long>(numbers[axis]);
  }
  std::string spacing = fieldOf(fields, {"ELEMENTSPACING", "ELEMENTSIZE"});
  if (!spacing.empty() && !parseNumbers(spacing, 3, volume.spacing)) {
    return "has an ElementSpacing of other than 3 numbers";
  }
  std::string origin = fieldOf(fields, {"OFFSET", "POSITION", "ORIGIN"});
  if (!origin.empty() && !parseNumbers(origin, 3, volume.origin)) {
    return "has an Offset of other than 3 numbers";
  }
  std::string axes = fieldOf(fields, {"TRANSFORMMATRIX", "ROTATION", "ORIENTATION"});
  if (axes.empty()) return "";
  if (!parseNumbers(axes, 9, numbers)) return "has a TransformMatrix of other than 9 numbers";
  // Each row of three is the direction of one axis.
  for (int axis = 0; axis < 3; ++axis) {
    for (int r = 0; r < 3; ++r) volume.direction[r][axis] = numbers[3 * axis + r];
  }
  return "";
}

// The voxels' bytes: after the header, or in the file ElementDataFile names,
// inflated when CompressedData says so; why not, or empty.
std::string voxelBytesOf(const std::string& bytes, size_t dataAt, const std::string& folder,
                         const std::map<std::string, std::string>& fields, size_t expected,
                         std::string& data) {
  std::string file = fieldOf(fields, {"ELEMENTDATAFILE"});
  if (file == "LIST" || file.find('%') != std::string::npos) {
    return "keeps its slices in several files, which is not read";
  }
  const std::string* source = &bytes;
  std::string detached;
  if (file != "LOCAL") {
    if (file.empty() || !readFileBytes(folder + file, detached)) {
      return "names a data file '" + file + "' that cannot be read";
    }
    source = &detached;
    dataAt = 0;
  }
  size_t available = source->size() - dataAt;
  if (isTrue(fieldOf(fields, {"COMPRESSEDDATA"}))) {
    if (!inflateData(source->data() + dataAt, available, expected, data)) {
      return "holds compressed voxels that do not inflate to the " + std::to_string(expected) +
             " bytes its header promises";
    }
    return "";
  }
  long long skip = atoll(fieldOf(fields, {"HEADERSIZE"}).c_str());
  // HeaderSize -1: the voxels are the file's last bytes.
  if (skip == -1 && available >= expected) skip = static_cast<long long>(available - expected);
  if (skip < 0 || static_cast<size_t>(skip) > available) return "has a HeaderSize past its end";
  data.assign(*source, dataAt + skip, std::string::npos);
  return "";
}

}  // namespace

std::string parseMetaImage(const std::string& bytes, const std::string& folder, Volume& volume,
                           int threads) {
  volume.format = "MetaImage";
  std::map<std::string, std::string> fields;
  size_t dataAt = 0;
  if (!readFields(bytes, fields, dataAt)) return "is no MetaImage: it has no ElementDataFile line";
  if (std::string why = placeImage(fields, volume); !why.empty()) return why;
  std::string channels = fieldOf(fields, {"ELEMENTNUMBEROFCHANNELS"});
  if (!channels.empty() && channels != "1") return "has " + channels + " values a voxel, not one";
  VoxelType type = metaTypeOf(fieldOf(fields, {"ELEMENTTYPE"}));
  if (type == VoxelType::kUnknown) {
    return "has voxels of type '" + fieldOf(fields, {"ELEMENTTYPE"}) + "', which is not read";
  }
  if (fieldOf(fields, {"BINARYDATA"}) == "False")
    return "has its voxels as text, which is not read";
  if (std::string why = checkGeometry(volume); !why.empty()) return why;
  size_t expected = volume.voxelCount() * voxelBytes(type);
  std::string data;
  if (std::string why = voxelBytesOf(bytes, dataAt, folder, fields, expected, data); !why.empty()) {
    return why;
  }
  bool bigEndian = isTrue(fieldOf(fields, {"BINARYDATABYTEORDERMSB", "ELEMENTBYTEORDERMSB"}));
  return convertVoxels(data.data(), data.size(), type, bigEndian, 1, 0, volume, threads);
}

}  // namespace verdask
