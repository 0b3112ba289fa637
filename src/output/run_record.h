// The run record (-json): which inputs and options made a deck, and what the
// run found, as one JSON object.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "output/run_summary.h"

namespace verdask {

struct RecordedInput {
  std::string role, path;
  long long bytes = 0;
  std::string sha256;  // empty when the file could not be read again
};

/// Every option's value; an output not written has an empty name.
struct RecordedOptions {
  double adjThick, maxThick, minThick;
  int shellNum, shellVal, threads;
  bool summary, surface;
  std::vector<std::pair<std::string, std::string>> outputs;  // option, file name
};

struct RunFacts {
  std::string version;
  std::vector<std::string> commandLine;
  RecordedOptions options;
  std::vector<RecordedInput> inputs;
  int exitCode = 0;
  int meshVertices = 0, corticalVertices = 0, trabecularVertices = 0, triangles = 0;
  const ThicknessSummary* thickness = nullptr;  // null when the run ended before the deck
  const PassRecord* pass = nullptr;
  std::vector<std::pair<std::string, double>> stageSeconds;
};

/// Writes the record; nonzero when the stream could not be written.
int writeRunRecord(FILE* json, const RunFacts& facts);

}  // namespace verdask
