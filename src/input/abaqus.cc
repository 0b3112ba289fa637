// Abaqus and CalculiX .inp: *NODE and *ELEMENT blocks; keywords and their
// parameters case-insensitive, "**" comments, data lines continued after a
// trailing comma. The element sets of shell blocks become parts, numbered in
// order of appearance and named as the file names them.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "input/formats.h"
#include "input/mesh_builder.h"
#include "input/scan.h"

namespace verdask {

namespace {

const char* const kTriangleTypes[] = {"S3", "S3R", "STRI3", "M3D3", "SFM3D3", "R3D3"};
const char* const kQuadTypes[] = {"S4", "S4R", "M3D4", "SFM3D4", "R3D4"};

int cornersOfType(const std::string& type) {
  for (const char* known : kTriangleTypes) {
    if (type == known) return 3;
  }
  for (const char* known : kQuadTypes) {
    if (type == known) return 4;
  }
  return 0;
}

// The fields of a data line, split at commas.
std::vector<std::string_view> fieldsOf(std::string_view line) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    size_t comma = line.find(',', start);
    fields.push_back(trimmed(line.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (fields.size() > 1 && fields.back().empty()) fields.pop_back();
  return fields;
}

// A keyword line's parameter as written, without the spaces around it; empty
// when absent. Keys are matched whatever their case.
std::string parameter(std::string_view line, const char* key) {
  std::vector<std::string_view> fields = fieldsOf(line);
  for (size_t k = 1; k < fields.size(); ++k) {
    size_t equals = fields[k].find('=');
    std::string name = upperCase(trimmed(fields[k].substr(0, equals)));
    name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
    if (name != key) continue;
    return equals == std::string_view::npos ? ""
                                            : std::string(trimmed(fields[k].substr(equals + 1)));
  }
  return "";
}

struct AbaqusReading {
  explicit AbaqusReading(const char* file) : name(file), builder(file) {}
  const char* name;
  MeshBuilder builder;
  enum class Block { kNone, kNode, kShell, kOther } block = AbaqusReading::Block::kNone;
  std::string type;  // the element block's
  int corners = 0;
  int part = -1;
  std::vector<std::string> elementSets;
  std::vector<std::string> warnings;

  void startBlock(std::string_view line, long long number) {
    std::string keyword = upperCase(fieldsOf(line.substr(1))[0]);
    keyword.erase(std::remove(keyword.begin(), keyword.end(), ' '), keyword.end());
    block = Block::kNone;
    if (keyword == "NODE") {
      block = Block::kNode;
    } else if (keyword == "ELEMENT") {
      type = upperCase(parameter(line, "TYPE"));
      corners = cornersOfType(type);
      block = corners ? Block::kShell : Block::kOther;
      // A beam or solid block's set is no shell part: it takes no number.
      part = corners ? partOf(upperCase(parameter(line, "ELSET"))) : -1;
    } else if (keyword == "INCLUDE") {
      warnings.push_back(std::string(name) + ", line " + std::to_string(number) + ": *INCLUDE of " +
                         parameter(line, "INPUT") + " is not followed");
    }
  }
  int partOf(const std::string& set) {
    if (set.empty()) return -1;
    for (size_t k = 0; k < elementSets.size(); ++k) {
      if (elementSets[k] == set) return static_cast<int>(k) + 1;
    }
    elementSets.push_back(set);
    return static_cast<int>(elementSets.size());
  }
  Status readData(const std::vector<std::string_view>& fields, long long line) {
    long long numbers[5];
    if (block == Block::kOther) {
      builder.addOther(type.empty() ? "untyped" : type);
      return {};
    }
    if (block == Block::kNode) {
      Coord3 p{0, 0, 0};
      double* xyz[] = {&p.x, &p.y, &p.z};
      bool good = fields.size() >= 2 && parseInteger(fields[0], &numbers[0]);
      for (size_t k = 1; good && k < fields.size() && k <= 3; ++k)
        good = parseDouble(fields[k], xyz[k - 1]);
      return good ? builder.addNode(numbers[0], p, line)
                  : readFailure("%s, line %lld: a node line that is not a number and coordinates",
                                name, line);
    }
    bool good = fields.size() == static_cast<size_t>(corners) + 1;
    for (int k = 0; good && k <= corners; ++k) good = parseInteger(fields[k], &numbers[k]);
    if (!good) {
      return readFailure("%s, line %lld: a %s element line that is not %d numbers", name, line,
                         type.c_str(), corners + 1);
    }
    return builder.addShell(numbers[0], part, numbers + 1, corners, line);
  }
};

}  // namespace

Status readAbaqus(std::string_view data, const char* name, ShellMesh& mesh) {
  ByteCursor cursor(data);
  AbaqusReading reading(name);
  std::string_view line;
  std::string joined;  // a data line and its continuations
  long long first = 0;
  while (cursor.nextLine(&line)) {
    std::string_view text = trimmed(line);
    if (text.substr(0, 2) == "**" || text.empty()) continue;
    if (text[0] == '*') {
      // A continued line that meets the next keyword ends there.
      if (!joined.empty()) {
        if (Status status = reading.readData(fieldsOf(joined), first)) return status;
        joined.clear();
      }
      reading.startBlock(text, cursor.lastLine());
      continue;
    }
    if (reading.block == AbaqusReading::Block::kNone) continue;
    if (joined.empty()) first = cursor.lastLine();
    joined.append(text);
    if (text.back() == ',' && reading.block != AbaqusReading::Block::kNode) continue;
    if (Status status = reading.readData(fieldsOf(joined), first)) return status;
    joined.clear();
  }
  mesh.warnings = reading.warnings;
  if (Status status = reading.builder.finish(mesh)) return status;
  nameParts(mesh, [&reading](int part) { return reading.elementSets[part - 1]; });
  return {};
}

}  // namespace verdask
