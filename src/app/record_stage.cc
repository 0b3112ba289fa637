// The end of a run: its outputs closed, its record written, and all of it put
// in place at once, or the record alone when the run failed.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/ct_run.h"
#include "app/exit_status.h"
#include "app/progress_line.h"
#include "app/run_state.h"
#include "base/build_info.h"
#include "base/file_digest.h"
#include "base/output_files.h"
#include "base/parallel.h"
#include "base/platform.h"
#include "base/progress.h"
#include "base/report.h"
#include "input/formats.h"
#include "input/readers.h"
#include "input/scan.h"
#include "output/class_sections.h"
#include "output/nodal_table.h"
#include "output/run_record.h"
#include "output/run_summary.h"
#include "output/shell_cards.h"
#include "output/solver_decks.h"
#include "output/thickness_view.h"
#include "thickness/closest_point.h"
#include "thickness/hole_flags.h"
#include "thickness/line_up.h"
#include "thickness/measure.h"
#include "thickness/mesh_maps.h"
#include "thickness/nearest_vertex.h"
#include "thickness/orientation.h"
#include "thickness/pass_findings.h"
#include "thickness/thickness_pass.h"
#include "thickness/vertex_normals.h"
namespace verdask {

namespace {

template <typename Options>
auto outputsOf(Options& options) {
  std::vector<std::pair<const char*, decltype(&options.answers)>> outputs = {
      {"ans", &options.answers},
      {"table", &options.table},
      {"o", &options.keyword},
      {"json", &options.json}};
  for (int k = 0; k < kExtraOutputCount; ++k) {
    outputs.emplace_back(kExtraOutputs[k].option + 1, &options.extras[k]);
  }
  return outputs;
}

// The path, size and SHA-256 of each file, read on the run's threads from
// where it stands now: an output not yet in place from its temporary file.
void digestFiles(std::vector<RecordedFile>& files, const OutputSet& outputs, int threads) {
  std::vector<std::function<void()>> digests;
  for (RecordedFile& file : files) {
    digests.push_back([&file, &outputs] {
      file.sha256 = sha256OfFile(outputs.pendingPath(file.path), &file.bytes);
    });
  }
  runTasks(threads, digests);
}

// The counts and figures of the stages that ran.
void countsOf(const RunState& run, RunFacts& facts) {
  // A reader's count stands only once it, and the readers reported before it, succeeded.
  if (run.in.readersPassed > 0) facts.meshVertices = run.in.meshCount;
  if (run.in.readersPassed > 1) facts.corticalVertices = run.in.cortical.count;
  if (run.in.readersPassed > 2) facts.trabecularVertices = run.in.trabecular.count;
  if (!run.record.meshToCortical.empty()) facts.lineUp = &run.lineUp;
  if (!run.finished) return;
  facts.triangles = run.elements.count();
  facts.inwardElements = run.orientation.inwardCount;
  facts.unorientedElements = static_cast<int>(run.orientation.undecided.size());
  facts.thickness = &run.summary;
  facts.pass = &run.record;
  facts.maps = &run.maps;
}

// The record a failed run replaces, whose last complete run it carries on.
std::string earlierRecord(const RunOptions& options) {
  struct stat info;
  const std::string& name = options.json.name();
  // Only a record is worth reading: a large file is something else.
  if (stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > (1 << 24)) {
    return "";
  }
  std::string text(info.st_size, '\0');
  FILE* file = fopen(name.c_str(), "rb");
  if (!file) return "";
  text.resize(fread(text.data(), 1, text.size(), file));
  fclose(file);
  return text;
}

// The run record's facts; the inputs and the outputs are read again for their digests.
RunFacts recordOf(const InputFiles& inputs, const RunOptions& options, const RunState& run,
                  int code) {
  RunFacts facts;
  facts.build = buildInfo();
  facts.where = whereabouts();
  facts.commandLine = options.commandLine;
  facts.options = {options.adjThick,
                   options.maxThick,
                   options.minThick,
                   options.shellNum,
                   options.shellVal,
                   run.threads,
                   options.summary,
                   options.toTriangles(),
                   options.strict,
                   options.measure->name,
                   {},
                   options.fill,
                   options.smoothWidth,
                   options.sections};
  for (const auto& [option, file] : outputsOf(options)) {
    facts.options.outputs.emplace_back(option, file->name());
    if (code == kExitSuccess && !file->name().empty() && file != &options.json) {
      facts.outputs.push_back({option, file->name(), 0, ""});
    }
  }
  for (const auto& [role, path] : {std::pair{"mesh", inputs.meshName},
                                   {"cortical", inputs.corticalName},
                                   {"normals", inputs.normalsName},
                                   {"trabecular", inputs.trabecularName},
                                   {"ct", inputs.ctName}}) {
    if (path && strcmp(path, "-") != 0) facts.inputs.push_back({role, path, 0, ""});
  }
  digestFiles(facts.inputs, options.outputs, run.threads);
  digestFiles(facts.outputs, options.outputs, run.threads);
  facts.exitCode = code & 0xff;  // as the shell sees it: -2 is 254
  facts.failure = run.failure;
  facts.warnings = run.warnings;
  if (code != kExitSuccess) facts.lastCompleteRun = lastCompleteRunOf(earlierRecord(options));
  countsOf(run, facts);
  if (run.ct.sigma > 0) facts.ct = {&run.in.ct, run.ct, options.ctRas ? "ras" : "lps"};
  facts.stageSeconds = run.clock.laps();
  return facts;
}

// Writes the record of the run, successful or not, beside its final name;
// false when it could not be written.
bool writeRecord(const InputFiles& inputs, RunOptions& options, const RunState& run, int code) {
  bool written = writeRunRecord(options.json.get(), recordOf(inputs, options, run, code)) == 0;
  return fclose(options.json.release()) == 0 && written;
}

}  // namespace

// Puts the run in place: every output and the record when it succeeded, the
// record alone when it failed. Everything is complete before the first
// rename, so a record that cannot be written replaces nothing. Returns the
// exit code.
int commitRun(const InputFiles& inputs, RunOptions& options, RunState& run, int code) {
  const char* failure = nullptr;
  bool recorded = !options.json.get() || writeRecord(inputs, options, run, code);
  if (!recorded) {
    failure = "Failure writing the run record\n";
  } else if (code == kExitSuccess) {
    if (!options.outputs.commitAll(options.json.name().c_str()))
      failure = "Failure moving the outputs into place\n";
  } else if (!options.json.name().empty() && !options.outputs.commit(options.json.name().c_str())) {
    failure = "Failure writing the run record\n";
  }
  if (!failure) return code;
  printf("%s", failure);
  return code == kExitSuccess ? kExitOutputFailed : code;
}

// Closes every output but the record; the exit code, with a write failure.
int closeOutputs(RunOptions& options, RunState& run, int code) {
  bool written = true;
  for (const auto& [option, file] : outputsOf(options)) {
    if (file->get() && file != &options.json) written = fclose(file->release()) == 0 && written;
  }
  if (!written && code == kExitSuccess) {
    const char* failure = "Failure writing the outputs\n";
    printf("%s", failure);
    run.failure = failureOf("", failure);
    code = kExitOutputFailed;
  }
  return code;
}

int recordFailedStart(InputFiles& inputs, RunOptions& options, int code,
                      const std::string& failure) {
  RunState run;
  run.failure = failure;
  run.warnings = options.unknownArguments;
  if (options.json.get()) commitRun(inputs, options, run, code);
  options.outputs.discard();
  return code;
}

}  // namespace verdask
