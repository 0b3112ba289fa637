// What the Python module holds between calls: meshes and surfaces as read,
// and a measured result with what its writers need. The sequence is the
// tool's run, stage by stage, from inputs already read.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "input/input_data.h"
#include "input/point_set.h"
#include "output/solver_decks.h"
#include "thickness/measure.h"
#include "thickness/mesh_maps.h"
#include "thickness/orientation.h"
#include "thickness/thickness_pass.h"

namespace verdask {

/// A run's failure as the tool ends it: the lines it prints, and its exit status (0 to 255).
class ToolError : public std::runtime_error {
 public:
  ToolError(const std::string& lines, int code);
  int status() const { return status_; }

 private:
  int status_;
};

/// A mesh as read: its nodes and shell elements with their own numbers.
struct Mesh {
  ShellMesh shell;
  std::string name;  // the file, as messages name it
};

/// A surface as read: points, triangles (corners from 0) and the file's normals, if any.
struct Surface {
  std::vector<Coord3> points, normals;
  std::vector<int> triangles;
  std::string name;
  bool oldFormat = false;       // a .surf file: the driver's lines name it cort.surf, trab.surf
  std::string triangleTrouble;  // why its triangles cannot be measured to: empty when they can
  bool trianglesWithoutTrouble = true;  // none, or none wrong, to compute normals from
};

/// Reads a mesh file of any mesh format; throws ToolError as the tool fails on it.
std::shared_ptr<Mesh> readMeshAt(const std::string& path);

/// Reads a surface file of any surface format, as the tool reads a cortical surface.
std::shared_ptr<Surface> readSurfaceAt(const std::string& path);

/// The normals of the cortical surface: its own or computed (none given),
/// given per point, or a legacy normals file.
struct NormalsSource {
  enum Kind { kOwn, kGiven, kFile } kind = kOwn;
  std::vector<Coord3> given;
  std::string path;
};

/// The tool's options that shape a result; the writers take them from it.
struct MeasureOptions {
  const MeasureKind* measure = &kMeasureKinds[0];
  double adj = 0.0, min = 0.0, max = 20.0;
  int num = 1, val = 1;
  bool numGiven = false, valGiven = false;
  int threads = 0;  // 0: the machine's cores
  bool fill = false;
  double smooth = 0;  // the full width at half maximum; 0 without
  int sections = 0;   // thickness classes of the complete decks; 0 without
  bool mapsThickness() const { return fill || smooth > 0; }  // -fill or -smooth change it
  bool strict = false, force = false;
  DeckPart given;  // -elset, -material, -mid
  std::vector<PartMaterial> partMaterials;
  std::vector<std::string> commandLine;  // the words the Abaqus deck's comment carries
};

/// A measured mesh: per node values in mesh node order, and what the writers need.
struct Result {
  std::shared_ptr<Mesh> mesh;
  MeasureOptions options;
  int threads = 1;
  PointSet nodes;
  ShellElements elements;  // with -num and -val applied as the tool applies them
  std::vector<float> thickness;
  PassRecord record;
  Orientation orientation;
  std::vector<DeckPart> deckParts;
  std::string deckFinding;  // why a complete deck would be refused; empty when it would not
  MapFacts maps;
  std::vector<std::string> warnings;
};

/// Measures as the tool does, from the stage after reading to the deck's
/// orientation; throws ToolError where the tool would end the run.
std::unique_ptr<Result> measureMesh(std::shared_ptr<Mesh> mesh, const Surface& cortical,
                                    const Surface& trabecular, const NormalsSource& normals,
                                    const MeasureOptions& options);

/// The writers of a result, with the tool's bytes; each throws ToolError as
/// the tool fails the run on that output.
void writeKeyword(const Result& result, const std::string& path);
void writeAbaqus(const Result& result, const std::string& path,
                 const std::vector<std::string>* commandLine);
void writeDyna(const Result& result, const std::string& path);
void writeNodal(const Result& result, const std::string& path);
void writeView(const Result& result, const std::string& path);

}  // namespace verdask
