// PLY: a text header of elements and their properties, then the elements in
// ASCII or binary of either byte order.
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "input/formats.h"
#include "input/scan.h"

namespace verdask {

namespace {

struct PlyProperty {
  std::string name;
  NumberType type = NumberType::kUnknown;
  NumberType countType = NumberType::kUnknown;  // a list's; kUnknown for a single value
  int role = -1;                                // see assignRoles
};

struct PlyElement {
  std::string name;
  long long count = 0;
  std::vector<PlyProperty> properties;
};

enum class PlyFormat { kAscii, kLittleEndian, kBigEndian };

struct PlyHeader {
  PlyFormat format = PlyFormat::kAscii;
  std::vector<PlyElement> elements;
};

// One "property ..." line of the element being declared.
Status readProperty(std::string_view rest, const char* name, long long line, PlyElement& element) {
  PlyProperty property;
  std::string_view word, type, countType;
  nextWord(rest, &type);
  if (type == "list") {
    nextWord(rest, &countType);
    property.countType = numberTypeNamed(countType);
    nextWord(rest, &type);
  }
  property.type = numberTypeNamed(type);
  nextWord(rest, &word);
  property.name = std::string(word);
  if (property.type == NumberType::kUnknown || property.name.empty() ||
      (!countType.empty() && property.countType == NumberType::kUnknown)) {
    return readFailure("%s, line %lld: a property this reader does not know", name, line);
  }
  element.properties.push_back(property);
  return {};
}

Status readHeader(ByteCursor& cursor, const char* name, PlyHeader& header) {
  std::string_view line, word;
  if (!cursor.nextLine(&line) || trimmed(line) != "ply") {
    return readFailure("%s: not a PLY file (no \"ply\" on the first line)", name);
  }
  while (cursor.nextLine(&line)) {
    long long number = cursor.lastLine();
    std::string_view rest = line;
    if (!nextWord(rest, &word) || word == "comment" || word == "obj_info") continue;
    if (word == "end_header") return {};
    if (word == "format") {
      nextWord(rest, &word);
      if (word == "ascii")
        header.format = PlyFormat::kAscii;
      else if (word == "binary_little_endian")
        header.format = PlyFormat::kLittleEndian;
      else if (word == "binary_big_endian")
        header.format = PlyFormat::kBigEndian;
      else
        return readFailure("%s, line %lld: an unknown format", name, number);
    } else if (word == "element") {
      PlyElement element;
      nextWord(rest, &word);
      element.name = std::string(word);
      if (!nextInteger(rest, &element.count) || element.count < 0) {
        return readFailure("%s, line %lld: an element without a count", name, number);
      }
      header.elements.push_back(element);
    } else if (word == "property") {
      if (header.elements.empty()) {
        return readFailure("%s, line %lld: a property before any element", name, number);
      }
      if (Status status = readProperty(rest, name, number, header.elements.back())) return status;
    } else {
      return readFailure("%s, line %lld: an unknown header line", name, number);
    }
  }
  return readFailure("%s: the header has no \"end_header\"", name);
}

// The values of the body one after another, as text words or binary numbers.
class PlyValues {
 public:
  PlyValues(ByteCursor& cursor, PlyFormat format) : cursor_(cursor), format_(format) {}
  bool next(NumberType type, double* value) {
    if (format_ == PlyFormat::kAscii) {
      std::string_view word;
      return cursor_.nextWord(&word) && parseNumber(word, type, value);
    }
    const char* bytes;
    if (!cursor_.take(sizeOf(type), &bytes)) return false;
    *value = loadNumber(bytes, type, format_ == PlyFormat::kBigEndian);
    return true;
  }
  // Whether `count` items of at least `bytes` each can still be in the file.
  bool roomFor(long long count, size_t bytes) const {
    size_t least = format_ == PlyFormat::kAscii ? 2 : bytes;
    return least == 0 || static_cast<unsigned long long>(count) <= cursor_.left() / least;
  }

 private:
  ByteCursor& cursor_;
  PlyFormat format_;
};

size_t leastBytes(const PlyElement& element) {
  size_t bytes = 0;
  for (const PlyProperty& p : element.properties) {
    bytes += sizeOf(p.countType == NumberType::kUnknown ? p.type : p.countType);
  }
  return bytes;
}

// What a property is to the reader: x, y, z, nx, ny, nz of a vertex, a face's
// point list, or something passed over.
constexpr int kFaceIndices = 6;
constexpr int kPassedOver = -1;

void assignRoles(PlyHeader& header) {
  static const char* const kVertexNames[] = {"x", "y", "z", "nx", "ny", "nz"};
  for (PlyElement& element : header.elements) {
    for (PlyProperty& p : element.properties) {
      bool list = p.countType != NumberType::kUnknown;
      p.role = kPassedOver;
      for (int v = 0; v < 6 && element.name == "vertex" && !list; ++v) {
        if (p.name == kVertexNames[v]) p.role = v;
      }
      if (element.name == "face" && list &&
          (p.name == "vertex_indices" || p.name == "vertex_index")) {
        p.role = kFaceIndices;
      }
    }
  }
}

// Reads one item's properties; a vertex's go to the soup's points and
// normals, a face's index list to its polygons.
Status readItem(PlyValues& values, const PlyElement& element, long long item, const char* name,
                bool isVertex, PolygonSoup& soup) {
  double vertex[6] = {0, 0, 0, 0, 0, 0};
  for (const PlyProperty& p : element.properties) {
    double value, count = 1;
    bool list = p.countType != NumberType::kUnknown;
    if (list && (!values.next(p.countType, &count) || wholeNumber(count) < 0 ||
                 !values.roomFor(wholeNumber(count), sizeOf(p.type)))) {
      return readFailure(
          "%s: %s %lld has a list count that cannot be: cut short, negative, not a whole number, "
          "or more values than the file has left",
          name, element.name.c_str(), item + 1);
    }
    for (long long k = 0; k < static_cast<long long>(count); ++k) {
      if (!values.next(p.type, &value)) {
        return p.role == kFaceIndices
                   ? readFailure(
                         "%s: %s %lld is cut short or has a corner that is not a point "
                         "index (a whole number)",
                         name, element.name.c_str(), item + 1)
                   : readFailure("%s: %s %lld is cut short or not a number of its type", name,
                                 element.name.c_str(), item + 1);
      }
      if (p.role == kFaceIndices) {
        soup.corners.push_back(static_cast<int>(wholeNumber(value)));
      } else if (p.role != kPassedOver) {
        vertex[p.role] = value;
      }
    }
    if (p.role == kFaceIndices) soup.endPolygon();
  }
  if (isVertex) {
    soup.points.push_back({vertex[0], vertex[1], vertex[2]});
    soup.normals.push_back({vertex[3], vertex[4], vertex[5]});
  }
  return {};
}

}  // namespace

Status readPly(std::string_view data, const char* name, PolygonSoup& soup) {
  ByteCursor cursor(data);
  PlyHeader header;
  if (Status status = readHeader(cursor, name, header)) return status;
  assignRoles(header);
  PlyValues values(cursor, header.format);
  bool hasNormals = false;
  for (const PlyElement& element : header.elements) {
    if (!values.roomFor(element.count, leastBytes(element)) || element.count > kMostPolygons) {
      return readFailure("%s: %lld %s elements cannot be in the file's %zu bytes", name,
                         element.count, element.name.c_str(), data.size());
    }
    bool isVertex = element.name == "vertex";
    if (isVertex) {
      soup.points.reserve(element.count);
      soup.normals.reserve(element.count);
    }
    if (element.name == "face") {
      soup.corners.reserve(3 * element.count);
      soup.ends.reserve(element.count);
    }
    for (const PlyProperty& p : element.properties) hasNormals = hasNormals || p.role == 3;
    for (long long item = 0; item < element.count; ++item) {
      if (Status status = readItem(values, element, item, name, isVertex, soup)) return status;
    }
  }
  if (!hasNormals) soup.normals.clear();
  return {};
}

}  // namespace verdask
