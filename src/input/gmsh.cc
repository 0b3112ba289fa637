// Gmsh .msh, ASCII, versions 2.2 and 4.1: 3-node triangles and 4-node
// quadrangles, with their physical group as the part, named as $PhysicalNames
// names it or else by its number: PHYSICAL_4.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "input/formats.h"
#include "input/mesh_builder.h"
#include "input/scan.h"

namespace verdask {

namespace {

std::string elementKind(long long type) {
  static const std::map<long long, const char*> kNames = {{1, "line"},
                                                          {4, "tetrahedron"},
                                                          {5, "hexahedron"},
                                                          {6, "prism"},
                                                          {7, "pyramid"},
                                                          {8, "3-node line"},
                                                          {9, "6-node triangle"},
                                                          {10, "9-node quadrangle"},
                                                          {11, "10-node tetrahedron"},
                                                          {15, "point"},
                                                          {16, "8-node quadrangle"},
                                                          {17, "20-node hexahedron"}};
  auto known = kNames.find(type);
  return known != kNames.end() ? known->second : "type " + std::to_string(type) + " element";
}

struct GmshReading {
  GmshReading(std::string_view data, const char* file) : cursor(data), name(file), builder(file) {}
  ByteCursor cursor;
  const char* name;
  MeshBuilder builder;
  double version = 0;
  std::map<long long, int> surfaceGroups;  // 4.1: a surface entity's physical group
  std::map<int, std::string> groupNames;   // a surface physical group's name

  // The next line's numbers; false at the end of the file.
  bool numbers(std::vector<long long>& values, std::vector<double>* reals = nullptr) {
    std::string_view line, word;
    if (!cursor.nextLine(&line)) return false;
    values.clear();
    if (reals) reals->clear();
    while (nextWord(line, &word)) {
      double real;
      long long value;
      if (reals && parseDouble(word, &real)) reals->push_back(real);
      values.push_back(parseInteger(word, &value) ? value : LLONG_MIN);
    }
    return true;
  }
  Status failure(const char* what) {
    return readFailure("%s, line %lld: %s", name, cursor.lastLine(), what);
  }
  // Whether every number `numbers` gave is whole (element types, tags and counts must be).
  static bool whole(const std::vector<long long>& values) {
    return std::find(values.begin(), values.end(), LLONG_MIN) == values.end();
  }
  Status addElement(long long number, long long type, int part, const long long* nodes,
                    size_t count) {
    int corners = type == 2 ? 3 : type == 3 ? 4 : 0;
    if (corners == 0) {
      builder.addOther(elementKind(type));
      return {};
    }
    if (count < static_cast<size_t>(corners)) return failure("an element with too few nodes");
    return builder.addShell(number, part, nodes, corners, cursor.lastLine());
  }

  void readPhysicalNames();
  Status readFormat();
  Status readEntities();
  Status readNodes();
  Status readElements();
};

// Lines of dimension, tag and quoted name; any other line is passed over. The
// next section's line, where the end line is missing, is left to be read.
void GmshReading::readPhysicalNames() {
  std::string_view line;
  for (ByteCursor before = cursor; cursor.nextLine(&line); before = cursor) {
    if (trimmed(line).substr(0, 1) == "$") {
      if (trimmed(line) != "$EndPhysicalNames") cursor = before;
      return;
    }
    long long dimension, tag;
    size_t open = line.find('"'), close = line.rfind('"');
    std::string_view numbers = line.substr(0, open);
    if (close > open && nextInteger(numbers, &dimension) && dimension == 2 &&
        nextInteger(numbers, &tag) && tag >= 1 && tag <= INT32_MAX) {
      groupNames[static_cast<int>(tag)] = std::string(line.substr(open + 1, close - open - 1));
    }
  }
}

Status GmshReading::readFormat() {
  std::vector<long long> values;
  std::vector<double> reals;
  if (!numbers(values, &reals) || reals.size() < 2)
    return failure("a $MeshFormat without its version");
  version = reals[0];
  if (reals[1] != 0) return failure("a binary .msh file: save it as ASCII");
  if (version != 2.2 && version != 4.1 && version != 2.0 && version != 2.1) {
    return failure("a .msh version other than 2.2 or 4.1");
  }
  return {};
}

Status GmshReading::readEntities() {
  std::vector<long long> counts, line;
  std::vector<double> reals;
  if (!numbers(counts) || counts.size() < 4) return failure("$Entities without its counts");
  for (int dim = 0; dim < 4; ++dim) {
    for (long long e = 0; e < counts[dim]; ++e) {
      if (!numbers(line, &reals)) return failure("$Entities cut short");
      size_t physical = dim == 0 ? 4 : 7;  // after the tag and the point or the box
      if (line.size() <= physical) return failure("an entity line cut short");
      long long group = line.size() > physical + 1 ? line[physical + 1] : LLONG_MIN;
      if (dim == 2 && line[physical] > 0 && group != LLONG_MIN) {
        surfaceGroups[line[0]] =
            static_cast<int>(std::abs(group) <= INT32_MAX ? std::abs(group) : -1);
      }
    }
  }
  return {};
}

Status GmshReading::readNodes() {
  std::vector<long long> header, block;
  std::vector<double> xyz;
  if (!numbers(header) || header.empty()) return failure("$Nodes without its count");
  if (version < 4) {
    for (long long n = 0; n < header[0]; ++n) {
      if (!numbers(block, &xyz) || xyz.size() < 4 || block[0] == LLONG_MIN)
        return failure("a node line that is not a number and coordinates");
      if (Status status = builder.addNode(block[0], {xyz[1], xyz[2], xyz[3]}, cursor.lastLine()))
        return status;
    }
    return {};
  }
  for (long long b = 0; b < header[0]; ++b) {
    if (!numbers(block) || block.size() < 4 || block[3] < 0 ||
        block[3] > static_cast<long long>(cursor.left())) {
      return failure("a node block without its count");
    }
    std::vector<long long> tags(block[3]), tag;
    for (long long& t : tags) {
      if (!numbers(tag) || tag.empty()) return failure("node tags cut short");
      if (!whole(tag)) return failure("a node tag that is not a whole number");
      t = tag[0];
    }
    for (long long t : tags) {
      if (!numbers(tag, &xyz) || xyz.size() < 3) return failure("node coordinates cut short");
      if (Status status = builder.addNode(t, {xyz[0], xyz[1], xyz[2]}, cursor.lastLine()))
        return status;
    }
  }
  return {};
}

Status GmshReading::readElements() {
  std::vector<long long> header, block, line;
  if (!numbers(header) || header.empty()) return failure("$Elements without its count");
  if (version < 4) {
    for (long long e = 0; e < header[0]; ++e) {
      bool read = numbers(line);
      if (read && !whole(line)) return failure("an element line that is not whole numbers");
      if (!read || line.size() < 3 || line[2] < 0 ||
          3 + static_cast<size_t>(line[2]) > line.size()) {
        return failure("an element line cut short");
      }
      size_t tags = static_cast<size_t>(line[2]);
      int part = tags > 0 && line[3] >= 1 && line[3] <= INT32_MAX ? static_cast<int>(line[3]) : -1;
      if (Status status =
              addElement(line[0], line[1], part, line.data() + 3 + tags, line.size() - 3 - tags))
        return status;
    }
    return {};
  }
  for (long long b = 0; b < header[0]; ++b) {
    if (!numbers(block) || block.size() < 4 || block[3] < 0)
      return failure("an element block without its count");
    if (!whole(block)) return failure("an element block header that is not whole numbers");
    auto group = surfaceGroups.find(block[1]);
    int part =
        block[0] == 2 && group != surfaceGroups.end() && group->second > 0 ? group->second : -1;
    for (long long e = 0; e < block[3]; ++e) {
      if (!numbers(line) || line.empty()) return failure("an element block cut short");
      if (!whole(line)) return failure("an element line that is not whole numbers");
      if (Status status = addElement(line[0], block[2], part, line.data() + 1, line.size() - 1))
        return status;
    }
  }
  return {};
}

}  // namespace

Status readGmsh(std::string_view data, const char* name, ShellMesh& mesh) {
  GmshReading reading(data, name);
  std::string_view line;
  while (reading.cursor.nextLine(&line)) {
    std::string_view section = trimmed(line);
    Status status;
    if (section == "$MeshFormat")
      status = reading.readFormat();
    else if (section == "$PhysicalNames")
      reading.readPhysicalNames();
    else if (section == "$Entities")
      status = reading.version >= 4 ? reading.readEntities() : Status{};
    else if (section == "$Nodes")
      status = reading.version ? reading.readNodes() : reading.failure("$Nodes before $MeshFormat");
    else if (section == "$Elements")
      status = reading.version ? reading.readElements()
                               : reading.failure("$Elements before $MeshFormat");
    if (status) return status;
  }
  if (reading.version == 0) return readFailure("%s: no $MeshFormat: not a Gmsh file", name);
  if (Status status = reading.builder.finish(mesh)) return status;
  nameParts(mesh, [&reading](int part) {
    auto named = reading.groupNames.find(part);
    return named != reading.groupNames.end() ? named->second : "PHYSICAL_" + std::to_string(part);
  });
  return {};
}

}  // namespace verdask
