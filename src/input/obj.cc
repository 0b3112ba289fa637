// Wavefront OBJ: "v x y z", "vn x y z" and "f a/t/n b/t/n c/t/n ..." lines;
// everything else (textures, groups, materials, lines) is passed over.
#include <algorithm>
#include <string_view>
#include <vector>

#include "input/formats.h"
#include "input/scan.h"

namespace verdask {

namespace {

// A face corner "v", "v/vt", "v//vn" or "v/vt/vn": the vertex and normal
// numbers as written (normal 0 when none).
bool parseCorner(std::string_view word, long long* vertex, long long* normal) {
  size_t slash = word.find('/');
  *normal = 0;
  if (!parseInteger(word.substr(0, slash), vertex)) return false;
  if (slash == std::string_view::npos) return true;
  size_t second = word.find('/', slash + 1);
  if (second == std::string_view::npos) return true;
  return second + 1 == word.size() || parseInteger(word.substr(second + 1), normal);
}

// 1-based, or negative counting back from the last one read; -1 when out of range.
int resolve(long long number, size_t count) {
  long long index = number > 0 ? number - 1 : static_cast<long long>(count) + number;
  return number != 0 && index >= 0 && index < static_cast<long long>(count)
             ? static_cast<int>(index)
             : -1;
}

struct ObjReading {
  std::vector<Coord3> normals;      // as listed by vn
  std::vector<int> normalOfVertex;  // the first vn a corner names for each vertex, or -1
};

Status readFace(std::string_view rest, const char* name, long long line, PolygonSoup& soup,
                ObjReading& reading) {
  std::string_view word;
  while (nextWord(rest, &word)) {
    long long vertex, normal;
    if (!parseCorner(word, &vertex, &normal)) {
      return readFailure(
          "%s, line %lld: a face corner \"%.*s\" that is not written as whole numbers", name, line,
          static_cast<int>(std::min<size_t>(word.size(), 40)), word.data());
    }
    int index = resolve(vertex, soup.points.size());
    if (index < 0)
      return readFailure("%s, line %lld: a face corner that is not a vertex", name, line);
    soup.corners.push_back(index);
    int normalIndex = normal != 0 ? resolve(normal, reading.normals.size()) : -1;
    if (normal != 0 && normalIndex < 0) {
      return readFailure("%s, line %lld: a face corner names a missing normal", name, line);
    }
    if (reading.normalOfVertex[index] < 0) reading.normalOfVertex[index] = normalIndex;
  }
  soup.endPolygon();
  return {};
}

Status readCoordinates(std::string_view rest, const char* name, long long line, Coord3* p) {
  if (!nextDouble(rest, &p->x) || !nextDouble(rest, &p->y) || !nextDouble(rest, &p->z)) {
    return readFailure("%s, line %lld: fewer than three numbers", name, line);
  }
  return {};
}

}  // namespace

Status readObj(std::string_view data, const char* name, PolygonSoup& soup) {
  ByteCursor cursor(data);
  ObjReading reading;
  std::string_view line, word;
  while (cursor.nextLine(&line)) {
    long long number = cursor.lastLine();
    std::string_view rest = line;
    if (!nextWord(rest, &word)) continue;
    Status status;
    if (word == "v") {
      soup.points.emplace_back();
      reading.normalOfVertex.push_back(-1);
      status = readCoordinates(rest, name, number, &soup.points.back());
    } else if (word == "vn") {
      reading.normals.emplace_back();
      status = readCoordinates(rest, name, number, &reading.normals.back());
    } else if (word == "f") {
      status = readFace(rest, name, number, soup, reading);
    }
    if (status) return status;
  }
  // A vertex's normal is the one its corners name; unless every vertex of a
  // face has one, the file is taken to carry none.
  for (int corner : soup.corners) {
    if (reading.normalOfVertex[corner] < 0) return {};
  }
  if (soup.corners.empty()) return {};
  soup.normals.assign(soup.points.size(), Coord3{0, 0, 0});
  for (size_t v = 0; v < soup.points.size(); ++v) {
    if (reading.normalOfVertex[v] >= 0)
      soup.normals[v] = reading.normals[reading.normalOfVertex[v]];
  }
  return {};
}

}  // namespace verdask
