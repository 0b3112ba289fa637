// The run record (-json): which inputs and options made a deck, and what the
// run found, as one JSON object.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "base/build_info.h"
#include "input/volume.h"
#include "output/run_summary.h"
#include "thickness/ct_measure.h"

namespace verdask {

struct RecordedFile {
  std::string role, path;  // for an output, its option
  long long bytes = 0;
  std::string sha256;  // empty when the file could not be read again
};

/// Every option's value; an output not written has an empty name.
struct RecordedOptions {
  double adjThick = 0, maxThick = 0, minThick = 0;
  int shellNum = 0, shellVal = 0, threads = 0;
  bool summary = false, surface = false, strict = false;  // surface: measured to the triangles
  std::string measure;
  std::vector<std::pair<std::string, std::string>> outputs;  // option, file name
  bool fill = false;
  double smoothWidth = 0;  // 0: not smoothed
  int sections = 0;        // 0: nodal thickness
};

/// The CT measure's image and the values its fits held.
struct CtFacts {
  const Volume* image = nullptr;  // null: no CT measure, or it ended before its fits
  CtCalibration calibration;
  const char* surfacesFrame = "lps";
};

struct RunFacts {
  BuildInfo build;
  Whereabouts where;
  std::vector<std::string> commandLine;
  RecordedOptions options;
  std::vector<RecordedFile> inputs;
  std::vector<RecordedFile> outputs;  // as they stand after the run; none when it failed
  int exitCode = 0;
  std::string failure;  // the lines the failing stage printed
  std::vector<std::string> warnings;
  const LineUp* lineUp = nullptr;  // null when the run ended before the pass
  // -1 where the stage that counts them failed or did not run
  int meshVertices = -1, corticalVertices = -1, trabecularVertices = -1, triangles = -1;
  int inwardElements = -1, unorientedElements = -1;
  const ThicknessSummary* thickness = nullptr;  // null when the run ended before the deck
  const PassRecord* pass = nullptr;
  const MapFacts* maps = nullptr;  // null when the run ended before the deck
  std::vector<std::pair<std::string, double>> stageSeconds;
  std::string lastCompleteRun;  // a failed run: the record of the run whose outputs stay, if known
  CtFacts ct;
};

/// The record of the last complete run that an earlier record tells of: the
/// earlier record itself when its run succeeded, else the one it carries;
/// empty when there is none.
std::string lastCompleteRunOf(const std::string& earlierRecord);

/// Writes the record; nonzero when the stream could not be written.
int writeRunRecord(FILE* json, const RunFacts& facts);

}  // namespace verdask
