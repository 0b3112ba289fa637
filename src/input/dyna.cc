// LS-DYNA keyword decks: *NODE and *ELEMENT_SHELL (and _THICKNESS) cards, in
// fixed columns or, where a card has a comma, free format; "$" comments. A
// card whose fourth node repeats the third (or is 0) is a triangle. A part is
// named by its PID: PART_3.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "input/formats.h"
#include "input/mesh_builder.h"
#include "input/scan.h"

namespace verdask {

namespace {

// The fields of a card: comma-separated, or fixed columns of the widths given.
std::vector<std::string_view> cardFields(std::string_view card, const std::vector<size_t>& widths) {
  std::vector<std::string_view> fields;
  if (card.find(',') != std::string_view::npos) {
    for (size_t start = 0;;) {
      size_t comma = card.find(',', start);
      fields.push_back(trimmed(card.substr(start, comma - start)));
      if (comma == std::string_view::npos) return fields;
      start = comma + 1;
    }
  }
  size_t start = 0;
  for (size_t width : widths) {
    if (start >= card.size()) break;
    fields.push_back(trimmed(card.substr(start, width)));
    start += width;
  }
  return fields;
}

struct DynaReading {
  explicit DynaReading(const char* file) : name(file), builder(file) {}
  const char* name;
  MeshBuilder builder;
  enum class Block { kNone, kNode, kShell, kOther, kInclude } block = DynaReading::Block::kNone;
  std::string keyword;
  bool thicknessCards = false;  // each element card is followed by a card of thicknesses
  bool skipNext = false;
  std::vector<std::string> warnings;

  void startBlock(std::string_view line) {
    std::string_view word;
    nextWord(line, &word);
    keyword = upperCase(word.substr(1));
    thicknessCards = keyword == "ELEMENT_SHELL_THICKNESS";
    block = keyword == "NODE"                              ? Block::kNode
            : keyword == "ELEMENT_SHELL" || thicknessCards ? Block::kShell
            : keyword.rfind("ELEMENT_", 0) == 0            ? Block::kOther
            : keyword.rfind("INCLUDE", 0) == 0             ? Block::kInclude
                                                           : Block::kNone;
    skipNext = false;
  }
  Status readNode(std::string_view card, long long line) {
    std::vector<std::string_view> fields = cardFields(card, {8, 16, 16, 16});
    long long number;
    Coord3 p{0, 0, 0};
    double* xyz[] = {&p.x, &p.y, &p.z};
    bool good = !fields.empty() && parseInteger(fields[0], &number);
    for (size_t k = 1; good && k < fields.size() && k <= 3; ++k) {
      good = fields[k].empty() || parseDouble(fields[k], xyz[k - 1]);
    }
    return good ? builder.addNode(number, p, line)
                : readFailure("%s, line %lld: a *NODE card that is not a number and coordinates",
                              name, line);
  }
  Status readShell(std::string_view card, long long line) {
    std::vector<std::string_view> fields = cardFields(card, {8, 8, 8, 8, 8, 8});
    long long n[6] = {0, 0, 0, 0, 0, 0};
    bool good = fields.size() >= 5;
    for (size_t k = 0; good && k < fields.size() && k < 6; ++k) {
      good = (k == 5 && fields[k].empty()) || parseInteger(fields[k], &n[k]);
    }
    if (!good) {
      return readFailure("%s, line %lld: a shell card that is not EID, PID and nodes", name, line);
    }
    bool triangle = n[5] == 0 || n[5] == n[4];
    int part = n[1] >= 1 && n[1] <= INT32_MAX ? static_cast<int>(n[1]) : -1;
    return builder.addShell(n[0], part, n + 2, triangle ? 3 : 4, line);
  }
  Status readCard(std::string_view card, long long line) {
    if (skipNext) {
      skipNext = false;
      return {};
    }
    skipNext = thicknessCards;
    switch (block) {
      case Block::kNode:
        return readNode(card, line);
      case Block::kShell:
        return readShell(card, line);
      case Block::kOther:
        builder.addOther(keyword);
        return {};
      case Block::kInclude:
        warnings.push_back(std::string(name) + ", line " + std::to_string(line) + ": *" + keyword +
                           " of " + std::string(trimmed(card)) + " is not followed");
        block = Block::kNone;
        return {};
      case Block::kNone:
        return {};
    }
    return {};
  }
};

}  // namespace

Status readDyna(std::string_view data, const char* name, ShellMesh& mesh) {
  ByteCursor cursor(data);
  DynaReading reading(name);
  std::string_view line;
  while (cursor.nextLine(&line)) {
    if (line.empty() || line[0] == '$') continue;
    if (line[0] == '*') {
      reading.startBlock(line);
      continue;
    }
    if (trimmed(line).empty()) continue;
    if (Status status = reading.readCard(line, cursor.lastLine())) return status;
  }
  mesh.warnings = reading.warnings;
  if (Status status = reading.builder.finish(mesh)) return status;
  nameParts(mesh, [](int part) { return "PART_" + std::to_string(part); });
  return {};
}

}  // namespace verdask
