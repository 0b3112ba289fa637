// The command line and the run sequence.
#pragma once

#include <string>
#include <vector>

#include "app/file_handle.h"
#include "input/formats.h"
#include "input/whole_input.h"
#include "output/solver_decks.h"

namespace verdask {

struct InputFiles {
  const char* meshName = nullptr;
  const char* corticalName = nullptr;
  const char* normalsName = nullptr;
  const char* trabecularName = nullptr;
  FileHandle mesh, cortical, normals, trabecular;
  InputFormat meshFormat = InputFormat::kHmascii;
  InputFormat corticalFormat = InputFormat::kSurf, trabecularFormat = InputFormat::kSurf;
  bool normalsFromCortical = false;  // "-": the cortical file's own normals, or computed ones
};

/// Where thicknesses are measured to: see the measures in thickness/measure.h.
enum class MeasureKind { kVertex, kSurface, kNormal, kSymmetric };

struct RunOptions {
  double adjThick = 0.0;
  double maxThick = 20.0;
  double minThick = 0.0;
  int shellNum = 1;
  int shellVal = 1;
  bool shellNumGiven = false, shellValGiven = false;  // override a mesh file's own numbers
  FileHandle answers;                                 // -ans, "ans.log"
  FileHandle table;                                   // -table, "table.log"
  FileHandle keyword;                                 // -o, "out.k"
  FileHandle vtk;                // -vtk: the thickness map (.vtu: VTK XML), written only when named
  FileHandle json;               // -json: the run record
  FileHandle nodal;              // -nodal: the nodal thickness table
  FileHandle inp;                // -inp: a complete Abaqus deck of the shell layer
  FileHandle deck;               // -deck: a complete LS-DYNA deck of the shell layer
  std::string elset = "CORTEX";  // -elset: the complete decks' set of a mesh without parts
  std::string material = "CORTEX";             // -material: the Abaqus deck's material
  int materialId = 1;                          // -mid: the LS-DYNA deck's material id
  std::vector<PartMaterial> partMaterials;     // -part-material, -part-mid: in the order given
  bool summary = false;                        // -summary
  MeasureKind measure = MeasureKind::kVertex;  // -measure; -surface is -measure surface
  bool strict = false;                         // -strict: a warning fails the run
  bool force = false;                          // -force: write even inputs that do not fit
  int threads = 0;                             // -threads; 0: the machine's cores
  int inputLimit = kDefaultInputLimitMiB;      // -input-limit: MiB an input read whole may hold
  bool fill = false;       // -fill: at_hole and outlier thicknesses replaced from the neighbours
  double smoothWidth = 0;  // -smooth: the full width at half maximum of the smoothing; 0: none
  int sections = 0;        // -sections: the complete decks' thickness classes; 0: nodal thickness
  std::vector<std::string> commandLine;
  std::vector<std::string> unknownArguments;  // as named on stderr, a warning each

  /// Whether the thickness is changed after the pass, so that the logs wait for it.
  bool mapsThickness() const { return fill || smoothWidth > 0; }
  /// Whether the measure reads the surfaces' triangles.
  bool toTriangles() const { return measure != MeasureKind::kVertex; }
};

/// The measure's name on the command line: "vertex", "surface", ...
const char* measureName(MeasureKind measure);

/// Answers --help (also -help, -h) and --version; false for any other command line.
bool printInformation(int argc, char** argv);

/// Prints the usage text; returns the usage exit code.
int printUsage();

/// Opens an input: a regular file in place, a pipe, device or compressed file
/// read whole under `rules`; null, after printing "Failure opening file ...",
/// when it cannot be.
FILE* openInput(const char* name, const WholeInputRules& rules);

/// Opens the inputs, reads the options and opens the outputs; 0, or the exit
/// code of a usage error or a file that cannot be opened.
int readCommandLine(int argc, char** argv, InputFiles& inputs, RunOptions& options);

/// Records a run that ended before its stages (-json, when its name is known):
/// the command line, the inputs and `failure`; returns `code`.
int recordFailedStart(InputFiles& inputs, RunOptions& options, int code,
                      const std::string& failure);

/// Prints the settings and runs every stage; returns the exit code.
int runVerdask(InputFiles& inputs, RunOptions& options);

}  // namespace verdask
