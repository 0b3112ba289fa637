#include "output/solver_decks.h"

#include <cctype>
#include <vector>

#include "io/report.h"
#include "io/text_writer.h"
#include "output/shell_cards.h"

namespace verdask {

namespace {

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

double meanThickness(const std::vector<int>& nodes, const float* thickness) {
  double sum = 0;
  for (int node : nodes) sum += thickness[node - 1];
  return nodes.empty() ? 0 : sum / nodes.size();
}

void putAbaqusElements(TextWriter& out, const ShellElements& elements, const DeckNames& names,
                       bool triangles) {
  bool any = false;
  for (int e = 0; e < elements.count(); ++e) {
    if (elements.isTriangle(e) != triangles) continue;
    if (!any) {
      out.put(triangles ? "*ELEMENT, TYPE=S3, ELSET=" : "*ELEMENT, TYPE=S4R, ELSET=");
      out.put(names.elset.c_str());
      out.put('\n');
      any = true;
    }
    out.putInt(elements.elementNumber(e, names.firstElement));
    for (int k = 0; k < (triangles ? 3 : 4); ++k) {
      out.put(", ", 2);
      out.putInt(elements.nodeNumber(elements.of(e)[k]));
    }
    out.put('\n');
  }
}

// Abaqus and CalculiX read at most 20 characters a data field, and 132 a
// line in CalculiX.
constexpr int kAbaqusFieldWidth = 20;
constexpr size_t kAbaqusLineWidth = 132;

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

}  // namespace

bool isDeckName(const std::string& name) {
  if (name.empty() || name.size() > 80 || !isalpha(static_cast<unsigned char>(name[0]))) {
    return false;
  }
  for (char c : name) {
    if (!isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

int writeAbaqusDeck(FILE* deck, const PointSet& mesh, const ShellElements& elements,
                    const float* thickness, const DeckNames& names) {
  if (names.firstElement < 1 && elements.numbers.empty()) {
    report("Abaqus element numbers must be positive: -num %d\n", names.firstElement);
    return -1;
  }
  std::vector<int> nodes = usedNodes(elements, mesh.count());
  TextWriter out(deck);
  out.put("*HEADING\n");
  out.put(names.heading.substr(0, kAbaqusLineWidth).c_str());
  out.put("\n*NODE\n");
  for (int node : nodes) {
    const Coord3& p = mesh.point(node - 1);
    out.putInt(elements.nodeNumber(node));
    for (double v : {p.x, p.y, p.z}) {
      out.put(", ", 2);
      putAbaqusReal(out, v);
    }
    out.put('\n');
  }
  putAbaqusElements(out, elements, names, true);
  putAbaqusElements(out, elements, names, false);
  out.put("*SHELL SECTION, ELSET=");
  out.put(names.elset.c_str());
  out.put(", MATERIAL=");
  out.put(names.material.c_str());
  out.put(", NODAL THICKNESS, OFFSET=0.5\n");
  putAbaqusReal(out, meanThickness(nodes, thickness));
  out.put("\n*NODAL THICKNESS\n");
  for (int node : nodes) {
    out.putInt(elements.nodeNumber(node));
    out.put(", ", 2);
    out.putShortest(thickness[node - 1]);
    out.put('\n');
  }
  return out.finish() ? 0 : -2;
}

int writeDynaDeck(FILE* deck, const PointSet& mesh, const ShellElements& elements,
                  const float* thickness, const DeckNames& names, int threads) {
  std::vector<int> nodes = usedNodes(elements, mesh.count());
  TextWriter out(deck);
  out.put("*KEYWORD\n*NODE\n$#   nid               x               y               z\n");
  for (int node : nodes) {
    const Coord3& p = mesh.point(node - 1);
    out.putInt(elements.nodeNumber(node), 8);
    for (double v : {p.x, p.y, p.z}) putField16(out, v);
    out.put('\n');
  }
  out.put("*PART\n$# title\n");
  out.put(names.elset.c_str());
  out.put("\n$#     pid     secid       mid\n");
  out.putInt(names.part, 10);
  out.putInt(1, 10);
  out.putInt(names.materialId, 10);
  out.put("\n*SECTION_SHELL\n$#   secid    elform      shrf       nip     propt\n");
  out.put("         1         2  0.833333         5         1\n");
  out.put("$#      t1        t2        t3        t4      nloc\n");
  double mean = meanThickness(nodes, thickness);
  for (int k = 0; k < 4; ++k) putField10(out, mean);
  out.put("         1\n");
  writeElementCards(out, elements, thickness, mesh.count(), names.firstElement, names.part,
                    threads);
  out.put("*END\n");
  return out.finish() ? 0 : -2;
}

}  // namespace verdask
