#include "output/class_sections.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace verdask {

namespace {

// Abaqus and CalculiX take names of at most 80 characters.
constexpr size_t kNameMost = 80;

}  // namespace

void sectionByClass(const ThicknessClasses& classes, ShellElements& elements, DeckNames& names) {
  size_t classCount = classes.classes.size();
  std::unordered_map<int, size_t> placeOf;
  for (size_t k = 0; k < names.parts.size(); ++k) placeOf.emplace(names.parts[k].number, k);
  // Each element's part and class, as one place among every part's classes.
  std::vector<size_t> cut(elements.count());
  std::vector<int> numberOf(names.parts.size() * classCount, 0);
  for (int e = 0; e < elements.count(); ++e) {
    size_t part = elements.parts.empty() ? 0 : placeOf[elements.parts[e]];
    cut[e] = part * classCount + classes.classOf[e];
    numberOf[cut[e]] = 1;
  }
  std::vector<DeckPart> sectioned;
  for (size_t place = 0; place < numberOf.size(); ++place) {
    if (!numberOf[place]) continue;
    DeckPart part = names.parts[place / classCount];
    std::string suffix = "_T" + std::to_string(place % classCount + 1);
    part.name = part.name.substr(0, kNameMost - suffix.size()) + suffix;
    part.number = static_cast<int>(sectioned.size()) + 1;
    part.thickness = classes.classes[place % classCount].mean;
    numberOf[place] = part.number;
    sectioned.push_back(part);
  }
  elements.parts.resize(elements.count());
  for (int e = 0; e < elements.count(); ++e) elements.parts[e] = numberOf[cut[e]];
  names.parts = std::move(sectioned);
  names.sections = true;
}

}  // namespace verdask
