// OFF: "OFF" (or "NOFF", with normals; "C" colours pass), the counts, a line
// per vertex, then a line per face "k a b c ..." with points from 0; "#" comments.
#include <algorithm>
#include <string_view>

#include "input/formats.h"
#include "input/scan.h"

namespace verdask {

namespace {

// The next line with something on it other than a comment.
bool nextDataLine(ByteCursor& cursor, std::string_view* line) {
  while (cursor.nextLine(line)) {
    *line = line->substr(0, line->find('#'));
    if (!trimmed(*line).empty()) return true;
  }
  return false;
}

Status readVertices(ByteCursor& cursor, const char* name, long long count, bool normals,
                    PolygonSoup& soup) {
  std::string_view line;
  for (long long v = 0; v < count; ++v) {
    Coord3 p, n{0, 0, 0};
    if (!nextDataLine(cursor, &line) || !nextDouble(line, &p.x) || !nextDouble(line, &p.y) ||
        !nextDouble(line, &p.z) ||
        (normals &&
         (!nextDouble(line, &n.x) || !nextDouble(line, &n.y) || !nextDouble(line, &n.z)))) {
      return readFailure("%s, line %lld: vertex %lld is missing or not numbers", name,
                         cursor.lastLine(), v + 1);
    }
    soup.points.push_back(p);
    if (normals) soup.normals.push_back(n);
  }
  return {};
}

Status readFaces(ByteCursor& cursor, const char* name, long long count, PolygonSoup& soup) {
  std::string_view line;
  for (long long f = 0; f < count; ++f) {
    long long corners, point;
    if (!nextDataLine(cursor, &line) || !nextInteger(line, &corners) || corners < 0 ||
        corners > static_cast<long long>(line.size())) {
      return readFailure("%s, line %lld: face %lld is missing or has no corner count", name,
                         cursor.lastLine(), f + 1);
    }
    for (long long k = 0; k < corners; ++k) {
      std::string_view word;
      if (!nextWord(line, &word)) {
        return readFailure("%s, line %lld: face %lld has fewer corners than its count %lld", name,
                           cursor.lastLine(), f + 1, corners);
      }
      if (!parseInteger(word, &point) || point < 0) {
        return readFailure(
            "%s, line %lld: face %lld has a corner \"%.*s\" that is not a point "
            "index (a whole number from 0)",
            name, cursor.lastLine(), f + 1, static_cast<int>(std::min<size_t>(word.size(), 40)),
            word.data());
      }
      if (point >= static_cast<long long>(soup.points.size())) {
        return readFailure("%s, line %lld: face %lld names a point the file lacks", name,
                           cursor.lastLine(), f + 1);
      }
      soup.corners.push_back(static_cast<int>(point));
    }
    soup.endPolygon();
  }
  return {};
}

}  // namespace

Status readOff(std::string_view data, const char* name, PolygonSoup& soup) {
  ByteCursor cursor(data);
  std::string_view line, word;
  if (!nextDataLine(cursor, &line) || !nextWord(line, &word) || word.size() < 3 ||
      word.substr(word.size() - 3) != "OFF") {
    return readFailure("%s: not an OFF file (no \"OFF\" on the first line)", name);
  }
  bool normals = word.find('N') != std::string_view::npos;
  long long vertices, faces, edges;
  if (trimmed(line).empty() && !nextDataLine(cursor, &line)) line = {};
  if (!nextInteger(line, &vertices) || !nextInteger(line, &faces) || !nextInteger(line, &edges) ||
      vertices < 0 || faces < 0 ||
      static_cast<unsigned long long>(vertices) + faces > data.size() / 2) {
    return readFailure("%s, line %lld: counts that cannot be in the file", name, cursor.lastLine());
  }
  if (Status status = readVertices(cursor, name, vertices, normals, soup)) return status;
  return readFaces(cursor, name, faces, soup);
}

}  // namespace verdask
