#include "input/mesh_builder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <set>
#include <string>

#include "input/readers.h"
#include "input/scan.h"

namespace verdask {

namespace {

// The position in `sorted` (numbers with their node's index) of `number`, or -1.
int findNode(const std::vector<std::pair<long long, int>>& sorted, long long number) {
  auto at = std::lower_bound(sorted.begin(), sorted.end(), std::pair<long long, int>{number, -1});
  return at != sorted.end() && at->first == number ? at->second : -1;
}

}  // namespace

Status MeshBuilder::checkNumber(const char* what, long long number, long long line) const {
  if (number >= 1 && number <= INT_MAX) return {};
  return readFailure("%s, line %lld: %s number %lld is not between 1 and %d", name_, line, what,
                     number, INT_MAX);
}

Status MeshBuilder::addNode(long long number, const Coord3& p, long long line) {
  if (Status status = checkNumber("node", number, line)) return status;
  for (double v : {p.x, p.y, p.z}) {
    if (!(std::fabs(v) <= kMaxCoordinate)) {
      return readFailure(
          "%s, line %lld: node %lld has a coordinate that is not a number or "
          "beyond 1e150",
          name_, line, number);
    }
  }
  nodes_.push_back({number, p, line});
  return {};
}

Status MeshBuilder::addShell(long long number, int part, const long long* corners, int cornerCount,
                             long long line) {
  if (Status status = checkNumber("element", number, line)) return status;
  Element element{number, part, {0, 0, 0, 0}, cornerCount, line};
  std::copy(corners, corners + cornerCount, element.corners);
  elements_.push_back(element);
  return {};
}

void MeshBuilder::addOther(const std::string& kind) {
  for (auto& [known, total] : others_) {
    if (known == kind) {
      ++total;
      return;
    }
  }
  others_.emplace_back(kind, 1);
}

Status MeshBuilder::finish(ShellMesh& mesh) {
  if (elements_.empty()) {
    std::string others;
    for (const auto& [kind, count] : others_) {
      others += (others.empty() ? ", only " : ", ") + std::to_string(count) + " " + kind;
    }
    return readFailure("%s: no shell or surface element (triangles or quadrilaterals)%s", name_,
                       others.c_str());
  }
  std::vector<int> used;
  if (Status status = resolveCorners(used)) return status;
  std::vector<int> position(nodes_.size(), 0);  // from 1 among the nodes used
  for (int i : used) {
    mesh.nodes.push_back(nodes_[i].p);
    mesh.elements.nodeNumbers.push_back(static_cast<int>(nodes_[i].number));
    position[i] = static_cast<int>(mesh.nodes.size());
  }
  bool parts = false;
  for (const Element& element : elements_) {
    const long long* c = element.corners;
    if (element.cornerCount == 4) {
      mesh.elements.addQuad(position[c[0]], position[c[1]], position[c[2]], position[c[3]]);
    } else {
      mesh.elements.addTriangle(position[c[0]], position[c[1]], position[c[2]]);
    }
    mesh.elements.numbers.push_back(static_cast<int>(element.number));
    mesh.elements.parts.push_back(element.part);
    parts = parts || element.part >= 0;
  }
  if (!parts) mesh.elements.parts.clear();
  mesh.others = others_;
  return {};
}

Status MeshBuilder::resolveCorners(std::vector<int>& used) {
  std::vector<std::pair<long long, int>> sorted(nodes_.size());
  for (size_t i = 0; i < nodes_.size(); ++i) sorted[i] = {nodes_[i].number, static_cast<int>(i)};
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 1; i < sorted.size(); ++i) {
    if (sorted[i].first == sorted[i - 1].first) {
      return readFailure("%s, line %lld: node %lld is given twice", name_,
                         nodes_[std::max(sorted[i].second, sorted[i - 1].second)].line,
                         sorted[i].first);
    }
  }
  std::vector<char> isUsed(nodes_.size(), 0);
  std::vector<long long> elementNumbers;
  for (Element& element : elements_) {
    elementNumbers.push_back(element.number);
    for (int k = 0; k < element.cornerCount; ++k) {
      int node = findNode(sorted, element.corners[k]);
      if (node < 0) {
        return readFailure("%s, line %lld: element %lld names node %lld, which is not a node",
                           name_, element.line, element.number, element.corners[k]);
      }
      element.corners[k] = node;
      isUsed[node] = 1;
    }
  }
  std::sort(elementNumbers.begin(), elementNumbers.end());
  auto twice = std::adjacent_find(elementNumbers.begin(), elementNumbers.end());
  if (twice != elementNumbers.end()) {
    return readFailure("%s: element %lld is given twice", name_, *twice);
  }
  for (size_t i = 0; i < nodes_.size(); ++i) {
    if (isUsed[i]) used.push_back(static_cast<int>(i));
  }
  return {};
}

void nameParts(ShellMesh& mesh, const std::function<std::string(int part)>& nameOf) {
  std::set<int> named;
  for (int part : mesh.elements.parts) {
    if (part >= 0 && named.insert(part).second) mesh.partNames.emplace_back(part, nameOf(part));
  }
}

}  // namespace verdask
