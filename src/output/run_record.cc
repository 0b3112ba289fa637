#include "output/run_record.h"

#include <nlohmann/json.hpp>

namespace verdask {

namespace {

using Json = nlohmann::ordered_json;

Json optionsOf(const RecordedOptions& o) {
  Json options = {{"adj", o.adjThick},    {"max", o.maxThick},    {"min", o.minThick},
                  {"num", o.shellNum},    {"val", o.shellVal},    {"threads", o.threads},
                  {"summary", o.summary}, {"surface", o.surface}, {"strict", o.strict},
                  {"measure", o.measure}};
  for (const auto& [option, name] : o.outputs) {
    options[option] = name.empty() ? Json(nullptr) : Json(name);
  }
  return options;
}

Json thicknessOf(const ThicknessSummary& s) {
  Json histogram = Json::array();
  for (int b = 0; b < ThicknessSummary::kBins; ++b) {
    histogram.push_back({{"from", s.minimum + b * s.binWidth},
                         {"to", s.minimum + (b + 1) * s.binWidth},
                         {"count", s.bins[b]}});
  }
  return {{"minimum", s.minimum},
          {"mean", s.mean},
          {"maximum", s.maximum},
          {"std_dev", s.deviation},
          {"histogram", histogram}};
}

Json filesOf(const std::vector<RecordedFile>& files) {
  Json listed = Json::object();
  for (const RecordedFile& file : files) {
    listed[file.role] = {{"path", file.path},
                         {"bytes", file.bytes},
                         {"sha256", file.sha256.empty() ? Json(nullptr) : Json(file.sha256)}};
  }
  return listed;
}

Json buildOf(const BuildInfo& build) {
  Json libraries = Json::object();
  for (const auto& [name, version] : build.libraries) libraries[name] = version;
  return {{"commit", build.commit},
          {"compiler", build.compiler},
          {"build_type", build.buildType},
          {"libraries", libraries}};
}

Json textOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

}  // namespace

int writeRunRecord(FILE* json, const RunFacts& facts) {
  Json record = {{"tool", "verdask"},
                 {"version", facts.build.version},
                 {"build", buildOf(facts.build)},
                 {"utc_time", textOrNull(facts.where.utcTime)},
                 {"host", textOrNull(facts.where.host)},
                 {"working_folder", textOrNull(facts.where.workingFolder)},
                 {"command_line", facts.commandLine},
                 {"options", optionsOf(facts.options)},
                 {"exit_code", facts.exitCode},
                 {"failure", textOrNull(facts.failure)},
                 {"warnings", facts.warnings}};
  record["inputs"] = filesOf(facts.inputs);
  record["outputs"] = filesOf(facts.outputs);
  auto count = [](int n) { return n < 0 ? Json(nullptr) : Json(n); };
  record["counts"] = {{"mesh_vertices", count(facts.meshVertices)},
                      {"cortical_vertices", count(facts.corticalVertices)},
                      {"trabecular_vertices", count(facts.trabecularVertices)},
                      {"triangles", count(facts.triangles)},
                      {"elements_facing_inwards", count(facts.inwardElements)},
                      {"elements_not_oriented", count(facts.unorientedElements)}};
  if (facts.lineUp) {
    record["mesh_to_cortical"] = {{"median", facts.lineUp->median},
                                  {"percentile_95", facts.lineUp->percentile95},
                                  {"maximum", facts.lineUp->maximum}};
  }
  if (facts.thickness && facts.pass) {
    record["thickness"] = thicknessOf(*facts.thickness);
    record["raised_to_minimum"] = facts.pass->raisedToMin;
    record["lowered_to_maximum"] = facts.pass->loweredToMax;
    record["angles_not_a_number"] = facts.thickness->notANumberAngles;
    Json quality = Json::object();
    for (int q = 0; q < kQualities; ++q) quality[kQualityNames[q]] = facts.pass->qualityCounts[q];
    record["quality"] = quality;
  }
  Json seconds = Json::object();
  for (const auto& [stage, time] : facts.stageSeconds) seconds[stage] = time;
  record["stage_seconds"] = seconds;
  std::string text = record.dump(2) + "\n";
  return fwrite(text.data(), 1, text.size(), json) == text.size() && fflush(json) == 0 ? 0 : -1;
}

}  // namespace verdask
