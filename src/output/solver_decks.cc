#include "output/solver_decks.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/report.h"
#include "base/text_writer.h"
#include "output/shell_cards.h"

namespace verdask {

namespace {

// Abaqus and CalculiX read at most 20 characters a data field, and 132 a
// line in CalculiX.
constexpr int kAbaqusFieldWidth = 20;
constexpr size_t kAbaqusLineWidth = 132;
// Names of sets and materials: Abaqus and CalculiX take at most 80 characters.
constexpr size_t kNameMost = 80;
// A mapping to a part the mesh has not lists this many of its parts.
constexpr size_t kPartsListed = 10;

// The nodes the elements use, ascending, from 1.
std::vector<int> usedNodes(const ShellElements& elements, int vertexCount) {
  std::vector<char> used(vertexCount + 1, 0);
  for (int corner : elements.corners) used[corner] = 1;
  std::vector<int> nodes;
  for (int node = 1; node <= vertexCount; ++node) {
    if (used[node]) nodes.push_back(node);
  }
  return nodes;
}

// Each element's part, as its place among the deck's parts.
std::vector<int> partPlaces(const ShellElements& elements, const DeckNames& names) {
  std::vector<int> places(elements.count(), 0);
  if (elements.parts.empty()) return places;
  std::unordered_map<int, int> placeOf;
  for (size_t k = 0; k < names.parts.size(); ++k) {
    placeOf.emplace(names.parts[k].number, static_cast<int>(k));
  }
  for (int e = 0; e < elements.count(); ++e) places[e] = placeOf[elements.parts[e]];
  return places;
}

// Each part's mean thickness over the nodes of its elements, each node once,
// in ascending order.
std::vector<double> meanThicknesses(const ShellElements& elements, const std::vector<int>& places,
                                    size_t partCount, const float* thickness) {
  std::vector<std::pair<int, int>> used;  // a part's place and a node of it
  used.reserve(elements.corners.size());
  for (int e = 0; e < elements.count(); ++e) {
    for (int k = 0; k < 4; ++k) used.emplace_back(places[e], elements.of(e)[k]);
  }
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());
  std::vector<double> sums(partCount, 0);
  std::vector<size_t> counts(partCount, 0);
  for (const auto& [place, node] : used) {
    sums[place] += thickness[node - 1];
    ++counts[place];
  }
  for (size_t k = 0; k < partCount; ++k) sums[k] = counts[k] ? sums[k] / counts[k] : 0;
  return sums;
}

// A name from a mesh file as a deck name: characters other than letters,
// digits and underscores become underscores, PART_ goes before one that does
// not start with a letter, and it is cut at 80 characters.
std::string deckNameOf(const std::string& name) {
  std::string made;
  for (char c : name) made += isalnum(static_cast<unsigned char>(c)) ? c : '_';
  if (made.empty() || !isalpha(static_cast<unsigned char>(made[0]))) made = "PART_" + made;
  return made.substr(0, kNameMost);
}

// The solvers read names in any case.
bool sameName(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// `name`, or where a part before has it, the first of NAME_2, NAME_3, ... that none has.
std::string unusedName(const std::string& name, const std::vector<DeckPart>& parts) {
  std::string unused = name;
  for (int k = 2;
       std::any_of(parts.begin(), parts.end(),
                   [&unused](const DeckPart& part) { return sameName(part.name, unused); });
       ++k) {
    unused = name.substr(0, kNameMost - 10) + "_" + std::to_string(k);
  }
  return unused;
}

// The mapping's part that the mesh has not, and the parts it has.
void reportUnknownPart(const PartMaterial& mapping, const std::vector<DeckPart>& parts) {
  std::string known;
  for (size_t k = 0; k < parts.size() && k < kPartsListed; ++k) {
    known += (k ? ", " : "") + parts[k].name + " (" + std::to_string(parts[k].number) + ")";
  }
  if (parts.size() > kPartsListed) known += ", ...";
  report("%s names the part %s, which the mesh does not have: its parts are %s\n",
         mapping.material.empty() ? "-part-mid" : "-part-material", mapping.part.c_str(),
         known.c_str());
}

// Sets a part's material as the mappings name it; false when one names no part.
bool mapMaterials(const std::vector<PartMaterial>& materials, std::vector<DeckPart>& parts) {
  for (const PartMaterial& mapping : materials) {
    auto part = std::find_if(parts.begin(), parts.end(), [&mapping](const DeckPart& part) {
      return mapping.part == std::to_string(part.number) || sameName(mapping.part, part.name);
    });
    if (part == parts.end()) {
      reportUnknownPart(mapping, parts);
      return false;
    }
    if (mapping.material.empty()) {
      part->materialId = mapping.materialId;
    } else {
      part->material = mapping.material;
    }
  }
  return true;
}

// The version and command line as "**" lines within CalculiX's 132 characters,
// broken at spaces where they can be; a control character would end the comment.
void putCommentLines(TextWriter& out, std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < ' ') c = '?';
  }
  constexpr size_t kWidth = kAbaqusLineWidth - 3;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(start + kWidth, text.size());
    size_t space = end < text.size() ? text.rfind(' ', end) : std::string::npos;
    if (space != std::string::npos && space > start) end = space;
    out.put("** ");
    out.put(text.data() + start, end - start);
    out.put('\n');
    start = text.find_first_not_of(' ', end);
  }
}

void putAbaqusElements(TextWriter& out, const ShellElements& elements,
                       const std::vector<int>& members, const DeckPart& part, int firstElement,
                       bool triangles) {
  bool any = false;
  for (int e : members) {
    if (elements.isTriangle(e) != triangles) continue;
    if (!any) {
      out.put(triangles ? "*ELEMENT, TYPE=S3, ELSET=" : "*ELEMENT, TYPE=S4R, ELSET=");
      out.put(part.name.c_str());
      out.put('\n');
      any = true;
    }
    out.putInt(elements.elementNumber(e, firstElement));
    for (int k = 0; k < (triangles ? 3 : 4); ++k) {
      out.put(", ", 2);
      out.putInt(elements.nodeNumber(elements.of(e)[k]));
    }
    out.put('\n');
  }
}

// `format` (with a precision taken as an argument) with the most digits, up to
// `digits`, that keep the text within `width` characters.
void putWithin(TextWriter& out, const char* format, int digits, int width, double value) {
  char text[40];
  int length = 0;
  for (; digits >= 0; --digits) {
    length = snprintf(text, sizeof text, format, digits, value);
    if (length <= width) break;
  }
  out.put(text, length);
}

// A real at full precision where it fits a data field, else with as many digits as fit.
void putAbaqusReal(TextWriter& out, double value) {
  TextWriter shortest;
  shortest.putShortest(value);
  if (shortest.size() <= kAbaqusFieldWidth) {
    out.put(shortest.data(), shortest.size());
  } else {
    putWithin(out, "%.*g", 17, kAbaqusFieldWidth, value);
  }
}

// A coordinate in a 16-column field, with as many digits as fit.
void putField16(TextWriter& out, double value) { putWithin(out, "%16.*e", 9, 16, value); }

// A real in a 10-column field.
void putField10(TextWriter& out, double value) {
  char text[40];
  int length = snprintf(text, sizeof text, "%10.6g", value);
  out.put(text, length);
}

// Each part's elements, triangles first, in its set; then each part's section.
void putAbaqusParts(TextWriter& out, const ShellElements& elements, const DeckNames& names,
                    const float* thickness) {
  std::vector<int> places = partPlaces(elements, names);
  std::vector<std::vector<int>> members(names.parts.size());
  for (int e = 0; e < elements.count(); ++e) members[places[e]].push_back(e);
  for (size_t k = 0; k < names.parts.size(); ++k) {
    for (bool triangles : {true, false}) {
      putAbaqusElements(out, elements, members[k], names.parts[k], names.firstElement, triangles);
    }
  }
  std::vector<double> means = meanThicknesses(elements, places, names.parts.size(), thickness);
  for (size_t k = 0; k < names.parts.size(); ++k) {
    out.put("*SHELL SECTION, ELSET=");
    out.put(names.parts[k].name.c_str());
    out.put(", MATERIAL=");
    out.put(names.parts[k].material.c_str());
    out.put(names.sections ? ", OFFSET=0.5\n" : ", NODAL THICKNESS, OFFSET=0.5\n");
    putAbaqusReal(out, names.sections ? names.parts[k].thickness : means[k]);
    out.put('\n');
  }
}

// *ELEMENT_SHELL: "%8d%8d%8d%8d%8d%8d" a card, number, part and four nodes;
// the section gives the thickness.
void putShellCards(TextWriter& out, const ShellElements& elements, const DeckNames& names) {
  out.put("*ELEMENT_SHELL\n$#   eid     pid      n1      n2      n3      n4\n");
  for (int e = 0; e < elements.count(); ++e) {
    out.putInt(elements.elementNumber(e, names.firstElement), 8);
    out.putInt(elements.partOf(e, names.parts[0].number), 8);
    for (int k = 0; k < 4; ++k) out.putInt(elements.nodeNumber(elements.of(e)[k]), 8);
    out.put('\n');
  }
}

// A deck's end: written whole, or the stream refused it.
Status written(TextWriter& out) { return out.finish() ? Status{} : Status{kDeckNotWritten, ""}; }

}  // namespace

bool isDeckName(const std::string& name) {
  if (name.empty() || name.size() > kNameMost || !isalpha(static_cast<unsigned char>(name[0]))) {
    return false;
  }
  for (char c : name) {
    if (!isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

int deckPartsOf(const ShellElements& elements,
                const std::vector<std::pair<int, std::string>>& ownNames, const DeckPart& given,
                const std::vector<PartMaterial>& materials, std::vector<DeckPart>* parts) {
  std::vector<int> numbers;
  if (elements.parts.empty()) numbers.push_back(given.number);
  std::unordered_set<int> seen;
  for (int number : elements.parts) {
    if (seen.insert(number).second) numbers.push_back(number);
  }
  parts->clear();
  for (int number : numbers) {
    auto own = std::find_if(ownNames.begin(), ownNames.end(),
                            [number](const auto& named) { return named.first == number; });
    DeckPart part = given;
    part.number = number;
    part.name = unusedName(own != ownNames.end() ? deckNameOf(own->second) : given.name, *parts);
    parts->push_back(part);
  }
  return mapMaterials(materials, *parts) ? 0 : -1;
}

Status writeAbaqusDeck(FILE* deck, const PointSet& mesh, const ShellElements& elements,
                       const float* thickness, const DeckNames& names) {
  if (names.firstElement < 1 && elements.numbers.empty()) {
    return {kDeckRefused, "Abaqus element numbers must be positive: -num " +
                              std::to_string(names.firstElement) + "\n"};
  }
  std::vector<int> nodes = usedNodes(elements, mesh.count());
  TextWriter out(deck);
  putCommentLines(out, names.comment);
  out.put("*NODE\n");
  for (int node : nodes) {
    const Coord3& p = mesh.point(node - 1);
    out.putInt(elements.nodeNumber(node));
    for (double v : {p.x, p.y, p.z}) {
      out.put(", ", 2);
      putAbaqusReal(out, v);
    }
    out.put('\n');
  }
  putAbaqusParts(out, elements, names, thickness);
  if (names.sections) return written(out);
  out.put("*NODAL THICKNESS\n");
  for (int node : nodes) {
    out.putInt(elements.nodeNumber(node));
    out.put(", ", 2);
    out.putShortest(thickness[node - 1]);
    out.put('\n');
  }
  return written(out);
}

Status writeDynaDeck(FILE* deck, const PointSet& mesh, const ShellElements& elements,
                     const float* thickness, const DeckNames& names, int threads) {
  TextWriter out(deck);
  out.put("*KEYWORD\n*NODE\n$#   nid               x               y               z\n");
  for (int node : usedNodes(elements, mesh.count())) {
    const Coord3& p = mesh.point(node - 1);
    out.putInt(elements.nodeNumber(node), 8);
    for (double v : {p.x, p.y, p.z}) putField16(out, v);
    out.put('\n');
  }
  std::vector<double> means =
      meanThicknesses(elements, partPlaces(elements, names), names.parts.size(), thickness);
  for (size_t k = 0; k < names.parts.size(); ++k) {
    const DeckPart& part = names.parts[k];
    out.put("*PART\n$# title\n");
    out.put(part.name.c_str());
    out.put("\n$#     pid     secid       mid\n");
    out.putInt(part.number, 10);
    out.putInt(static_cast<long long>(k) + 1, 10);
    out.putInt(part.materialId, 10);
    out.put("\n*SECTION_SHELL\n$#   secid    elform      shrf       nip     propt\n");
    out.putInt(static_cast<long long>(k) + 1, 10);
    out.put("         2  0.833333         5         1\n");
    out.put("$#      t1        t2        t3        t4      nloc\n");
    for (int t = 0; t < 4; ++t) putField10(out, names.sections ? part.thickness : means[k]);
    out.put("         1\n");
  }
  if (names.sections) {
    putShellCards(out, elements, names);
  } else {
    writeElementCards(out, elements, thickness, mesh.count(), names.firstElement,
                      names.parts[0].number, threads);
  }
  out.put("*END\n");
  return written(out);
}

}  // namespace verdask
