// Gathers a mesh file's nodes and elements by their own numbers, then checks
// them and turns them into a ShellMesh.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "input/input_data.h"

namespace verdask {

class MeshBuilder {
 public:
  explicit MeshBuilder(const char* name) : name_(name) {}

  /// Fails on a number or coordinate that cannot be.
  Status addNode(long long number, const Coord3& p, long long line);
  /// A shell element of 3 or 4 corners (own node numbers); part -1 when the file gives none.
  Status addShell(long long number, int part, const long long* corners, int cornerCount,
                  long long line);
  /// An element the deck leaves out, by its kind's name.
  void addOther(const std::string& kind);
  /// Resolves the corners; fails on what does not fit.
  Status finish(ShellMesh& mesh);

 private:
  struct Node {
    long long number;
    Coord3 p;
    long long line;
  };
  struct Element {
    long long number;
    int part;
    long long corners[4];
    int cornerCount;
    long long line;
  };
  Status checkNumber(const char* what, long long number, long long line) const;
  /// Turns the elements' corners from node numbers into node indexes and lists
  /// the nodes used, in file order; refuses numbers given twice and missing nodes.
  Status resolveCorners(std::vector<int>& used);

  const char* name_;
  std::vector<Node> nodes_;
  std::vector<Element> elements_;
  std::vector<std::pair<std::string, long long>> others_;
};

/// Lists the parts of a read mesh's elements in order of first appearance,
/// each with the name `nameOf` gives its number.
void nameParts(ShellMesh& mesh, const std::function<std::string(int part)>& nameOf);

}  // namespace verdask
