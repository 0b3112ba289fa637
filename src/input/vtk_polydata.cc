// Legacy VTK POLYDATA, ASCII or big-endian binary: POINTS, then POLYGONS or
// TRIANGLE_STRIPS as "k a b c" records (up to version 4.2) or as OFFSETS and
// CONNECTIVITY arrays (5.1), then POINT_DATA with NORMALS. Other sections and
// attributes are passed over by their declared sizes.
#include <string>
#include <string_view>
#include <vector>

#include "input/formats.h"
#include "input/polygon_soup.h"
#include "input/scan.h"

namespace verdask {

namespace {

struct VtkReading {
  VtkReading(std::string_view data, const char* file) : cursor(data), name(file) {}
  ByteCursor cursor;
  const char* name;
  bool binary = false;
  std::vector<double> values;  // the last array read

  // The next line that is not empty, split into its first word and the rest.
  bool nextKeyword(std::string_view* keyword, std::string_view* rest) {
    std::string_view line;
    while (cursor.nextLine(&line)) {
      *rest = line;
      if (nextWord(*rest, keyword)) return true;
    }
    return false;
  }
  // `count` numbers of `type` into `values`.
  Status readArray(long long count, NumberType type, const char* what) {
    size_t size = sizeOf(type);
    if (type == NumberType::kUnknown || count < 0 ||
        static_cast<unsigned long long>(count) > cursor.left() / (binary ? size : 2)) {
      return readFailure("%s, line %lld: %s of %lld values cannot be in the file", name,
                         cursor.line(), what, count);
    }
    values.resize(count);
    for (long long k = 0; k < count; ++k) {
      std::string_view word;
      const char* bytes;
      if (binary ? !cursor.take(size, &bytes)
                 : !cursor.nextWord(&word) || !parseNumber(word, type, &values[k])) {
        return readFailure("%s, line %lld: %s is cut short or not numbers of its type", name,
                           cursor.line(), what);
      }
      if (binary) values[k] = loadNumber(bytes, type, true);
    }
    return {};
  }
};

// Cells as "k a b c ..." records, or as offsets and connectivity: each cell's corners.
Status readCells(VtkReading& in, std::string_view rest, std::vector<long long>& ends,
                 std::vector<long long>& points) {
  long long cells, size;
  if (!nextInteger(rest, &cells) || !nextInteger(rest, &size)) {
    return readFailure("%s, line %lld: cells without their counts", in.name, in.cursor.lastLine());
  }
  ByteCursor peek = in.cursor;
  std::string_view keyword, line, type;
  if (in.nextKeyword(&keyword, &line) && keyword == "OFFSETS") {
    nextWord(line, &type);
    if (Status status = in.readArray(cells, numberTypeNamed(type), "OFFSETS")) return status;
    long long last = 0;
    for (size_t c = 1; c < in.values.size(); ++c) {
      long long end = wholeNumber(in.values[c]);
      if (end < last) return readFailure("%s: OFFSETS that go back or are not indices", in.name);
      ends.push_back(last = end);
    }
    if (!in.nextKeyword(&keyword, &line) || keyword != "CONNECTIVITY" || !nextWord(line, &type)) {
      return readFailure("%s: OFFSETS without CONNECTIVITY after them", in.name);
    }
    if (Status status = in.readArray(last, numberTypeNamed(type), "CONNECTIVITY")) return status;
    for (double point : in.values) points.push_back(wholeNumber(point));
    return {};
  }
  in.cursor = peek;
  if (Status status = in.readArray(size, NumberType::kInt32, "a cell list")) return status;
  for (size_t at = 0; at < in.values.size();) {
    long long corners = wholeNumber(in.values[at]);
    if (corners < 0 || static_cast<size_t>(corners) >= in.values.size() - at) {
      return readFailure("%s: a cell record runs past its list", in.name);
    }
    for (long long k = 1; k <= corners; ++k) points.push_back(wholeNumber(in.values[at + k]));
    ends.push_back(static_cast<long long>(points.size()));
    at += corners + 1;
  }
  return {};
}

Status readHeader(VtkReading& in) {
  std::string_view line, keyword, rest;
  if (!in.cursor.nextLine(&line) || line.substr(0, 22) != "# vtk DataFile Version") {
    return readFailure("%s: not a legacy VTK file (no \"# vtk DataFile Version\")", in.name);
  }
  in.cursor.nextLine(&line);  // the title
  if (!in.nextKeyword(&keyword, &rest) || (keyword != "ASCII" && keyword != "BINARY")) {
    return readFailure("%s, line 3: neither ASCII nor BINARY", in.name);
  }
  in.binary = keyword == "BINARY";
  if (!in.nextKeyword(&keyword, &rest) || keyword != "DATASET" || !nextWord(rest, &keyword) ||
      keyword != "POLYDATA") {
    return readFailure("%s: not a POLYDATA data set (only surfaces of polygons are read)", in.name);
  }
  return {};
}

// Passes over one attribute of `tuples` tuples; false when it is not one this reader knows.
bool skipAttribute(VtkReading& in, std::string_view keyword, std::string_view rest,
                   long long tuples, Status* status) {
  std::string_view word, type;
  long long components = 1;
  if (keyword == "SCALARS") {
    nextWord(rest, &word);
    nextWord(rest, &type);
    if (!nextInteger(rest, &components)) components = 1;
    std::string_view table, tableRest;
    ByteCursor peek = in.cursor;
    if (!in.nextKeyword(&table, &tableRest) || table != "LOOKUP_TABLE") in.cursor = peek;
  } else if (keyword == "VECTORS" || keyword == "NORMALS" || keyword == "TENSORS") {
    nextWord(rest, &word);
    nextWord(rest, &type);
    components = keyword == "TENSORS" ? 9 : 3;
  } else if (keyword == "TEXTURE_COORDINATES") {
    nextWord(rest, &word);
    nextInteger(rest, &components);
    nextWord(rest, &type);
  } else if (keyword == "COLOR_SCALARS") {
    nextWord(rest, &word);
    nextInteger(rest, &components);
    type = in.binary ? "uchar" : "float";
  } else {
    return false;
  }
  if (tuples < 0 || tuples > kMostPolygons || components < 0 || components > 64) {
    *status = readFailure("%s, line %lld: an attribute of sizes that cannot be", in.name,
                          in.cursor.lastLine());
    return true;
  }
  *status = in.readArray(tuples * components, numberTypeNamed(type), "an attribute");
  return true;
}

// A METADATA block runs to the next empty line.
void skipMetadata(VtkReading& in) {
  std::string_view line;
  while (in.cursor.nextLine(&line) && !trimmed(line).empty()) {
  }
}

// "FIELD name k" and its k arrays, each "name components tuples type" and its values.
Status skipField(VtkReading& in, std::string_view rest) {
  std::string_view word, line;
  long long arrays, components, tuples;
  nextWord(rest, &word);
  if (!nextInteger(rest, &arrays)) return readFailure("%s: a FIELD without its count", in.name);
  for (long long a = 0; a < arrays; ++a) {
    if (!in.nextKeyword(&word, &line)) return readFailure("%s: a FIELD cut short", in.name);
    if (word == "METADATA") {
      skipMetadata(in);
      --a;
      continue;
    }
    Status array;
    if (!nextInteger(line, &components) || !nextInteger(line, &tuples) || !nextWord(line, &word) ||
        components < 0 || tuples < 0 || components > kMostPolygons / (tuples + 1) ||
        (array = in.readArray(components * tuples, numberTypeNamed(word), "a FIELD array"))) {
      // After the array's own line, when it has one.
      array.message += readFailure("%s, line %lld: a FIELD array that cannot be read", in.name,
                                   in.cursor.lastLine())
                           .message;
      array.code = kReadFailed;
      return array;
    }
  }
  return {};
}

// `count` triples of the type named in `rest` (POINTS n type, NORMALS name type).
Status readTriples(VtkReading& in, std::string_view type, long long count, const char* what,
                   std::vector<Coord3>& into) {
  if (count < 0 || count > kMostPolygons) {
    return readFailure("%s, line %lld: %s of %lld points cannot be read", in.name,
                       in.cursor.lastLine(), what, count);
  }
  if (Status status = in.readArray(3 * count, numberTypeNamed(type), what)) return status;
  into.clear();
  for (long long p = 0; p < count; ++p) {
    into.push_back({in.values[3 * p], in.values[3 * p + 1], in.values[3 * p + 2]});
  }
  return {};
}

}  // namespace

Status readVtkPolyData(std::string_view data, const char* name, PolygonSoup& soup) {
  VtkReading in(data, name);
  if (Status status = readHeader(in)) return status;
  std::string_view keyword, rest, word;
  long long tuples = 0;
  bool pointData = false, sawPoints = false;
  while (in.nextKeyword(&keyword, &rest)) {
    Status status;
    long long count = -1;
    if (keyword == "POINTS") {
      nextInteger(rest, &count);
      nextWord(rest, &word);
      status = readTriples(in, word, count, "POINTS", soup.points);
      sawPoints = true;
    } else if (keyword == "VERTICES" || keyword == "LINES" || keyword == "POLYGONS" ||
               keyword == "TRIANGLE_STRIPS") {
      std::vector<long long> ends, points;
      status = readCells(in, rest, ends, points);
      if (!status && (keyword == "POLYGONS" || keyword == "TRIANGLE_STRIPS")) {
        addCells(ends, points, keyword == "TRIANGLE_STRIPS", 0, soup);
      }
    } else if (keyword == "POINT_DATA" || keyword == "CELL_DATA") {
      nextInteger(rest, &tuples);
      pointData = keyword == "POINT_DATA";
    } else if (keyword == "NORMALS" && pointData) {
      nextWord(rest, &word);
      nextWord(rest, &word);
      status = readTriples(in, word, tuples, "NORMALS", soup.normals);
    } else if (keyword == "METADATA") {
      skipMetadata(in);
    } else if (keyword == "FIELD") {
      status = skipField(in, rest);
    } else if (!skipAttribute(in, keyword, rest, tuples, &status)) {
      return readFailure("%s, line %lld: an unknown section %.*s", name, in.cursor.lastLine(),
                         static_cast<int>(std::min<size_t>(keyword.size(), 40)), keyword.data());
    }
    if (status) return status;
  }
  if (!sawPoints) return readFailure("%s: no POINTS", name);
  return {};
}

}  // namespace verdask
