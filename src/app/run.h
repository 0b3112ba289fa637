// The command line and the run sequence.
#pragma once

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "app/file_handle.h"
#include "base/output_files.h"
#include "input/formats.h"
#include "input/whole_input.h"
#include "output/extra_outputs.h"
#include "output/solver_decks.h"
#include "thickness/measure.h"

namespace verdask {

struct InputFiles {
  const char* meshName = nullptr;
  const char* corticalName = nullptr;
  const char* normalsName = nullptr;
  const char* trabecularName = nullptr;
  const char* ctName = nullptr;  // -ct: the CT image; the trabecular surface may then be "-"
  FileHandle mesh, cortical, normals, trabecular, ct;
  // By their names; no normals format with "-".
  const InputFormat *meshFormat = nullptr, *corticalFormat = nullptr, *normalsFormat = nullptr,
                    *trabecularFormat = nullptr;
  bool normalsFromCortical = false;  // "-": the cortical file's own normals, or computed ones
};

struct RunOptions {
  OutputSet outputs;  // first, so that it outlives the streams of its files
  double adjThick = 0.0;
  double maxThick = 20.0;
  double minThick = 0.0;
  int shellNum = 1;
  int shellVal = 1;
  bool shellNumGiven = false, shellValGiven = false;  // override a mesh file's own numbers
  FileHandle answers;                                 // -ans, "ans.log"
  FileHandle table;                                   // -table, "table.log"
  FileHandle keyword;                                 // -o, "out.k"
  FileHandle json;                                    // -json: the run record
  std::array<FileHandle, kExtraOutputCount> extras;   // as kExtraOutputs: -vtk, -nodal, -inp, -deck
  std::string elset = "CORTEX";     // -elset: the complete decks' set of a mesh without parts
  std::string material = "CORTEX";  // -material: the Abaqus deck's material
  int materialId = 1;               // -mid: the LS-DYNA deck's material id
  std::vector<PartMaterial> partMaterials;         // -part-material, -part-mid: in the order given
  bool summary = false;                            // -summary
  const MeasureKind* measure = &kMeasureKinds[0];  // -measure; -surface is -measure surface
  bool strict = false;                             // -strict: a warning fails the run
  bool force = false;                              // -force: write even inputs that do not fit
  int threads = 0;                                 // -threads; 0: the machine's cores
  int inputLimit = kDefaultInputLimitMiB;          // -input-limit: MiB an input read whole may hold
  bool ctRas = false;                              // -ct-frame ras: the surfaces in RAS, not LPS
  double ctSigma = NAN, ctCortex = NAN;  // -ct-sigma, -ct-cortex; not given: from the scan
  bool fill = false;       // -fill: at_hole and outlier thicknesses replaced from the neighbours
  double smoothWidth = 0;  // -smooth: the full width at half maximum of the smoothing; 0: none
  int sections = 0;        // -sections: the complete decks' thickness classes; 0: nodal thickness
  std::vector<std::string> commandLine;
  std::vector<std::string> unknownArguments;  // as named on stderr, a warning each

  /// Whether the thickness is changed after the pass, so that the logs wait for it.
  bool mapsThickness() const { return fill || smoothWidth > 0; }
  /// Whether the measure reads the surfaces' triangles.
  bool toTriangles() const { return measure->toTriangles; }
  /// Whether an extra output named by its option, that has `property`, is written.
  bool writes(bool ExtraOutput::*property) const {
    for (int k = 0; k < kExtraOutputCount; ++k) {
      if (extras[k].get() && kExtraOutputs[k].*property) return true;
    }
    return false;
  }
};

/// Answers --help (also -help, -h) and --version; false for any other command line.
bool printInformation(int argc, char** argv);

/// Prints the usage text; returns the usage exit code.
int printUsage();

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
