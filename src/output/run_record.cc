#include "output/run_record.h"

#include <nlohmann/json.hpp>

namespace verdask {

namespace {

using Json = nlohmann::ordered_json;

Json optionsOf(const RecordedOptions& o) {
  Json options = {{"adj", o.adjThick},    {"max", o.maxThick},   {"min", o.minThick},
                  {"num", o.shellNum},    {"val", o.shellVal},   {"threads", o.threads},
                  {"summary", o.summary}, {"surface", o.surface}};
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

}  // namespace

int writeRunRecord(FILE* json, const RunFacts& facts) {
  Json record = {{"tool", "verdask"},
                 {"version", facts.version},
                 {"command_line", facts.commandLine},
                 {"options", optionsOf(facts.options)},
                 {"exit_code", facts.exitCode}};
  Json inputs = Json::object();
  for (const RecordedInput& input : facts.inputs) {
    inputs[input.role] = {{"path", input.path},
                          {"bytes", input.bytes},
                          {"sha256", input.sha256.empty() ? Json(nullptr) : Json(input.sha256)}};
  }
  record["inputs"] = inputs;
  record["counts"] = {{"mesh_vertices", facts.meshVertices},
                      {"cortical_vertices", facts.corticalVertices},
                      {"trabecular_vertices", facts.trabecularVertices},
                      {"triangles", facts.triangles}};
  if (facts.thickness && facts.pass) {
    record["thickness"] = thicknessOf(*facts.thickness);
    record["raised_to_minimum"] = facts.pass->raisedToMin;
    record["lowered_to_maximum"] = facts.pass->loweredToMax;
    record["angles_not_a_number"] = facts.thickness->notANumberAngles;
  }
  Json seconds = Json::object();
  for (const auto& [stage, time] : facts.stageSeconds) seconds[stage] = time;
  record["stage_seconds"] = seconds;
  std::string text = record.dump(2) + "\n";
  return fwrite(text.data(), 1, text.size(), json) == text.size() && fflush(json) == 0 ? 0 : -1;
}

}  // namespace verdask
