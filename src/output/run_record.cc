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
  options["fill"] = o.fill;
  options["smooth"] = o.smoothWidth > 0 ? Json(o.smoothWidth) : Json(nullptr);
  options["sections"] = o.sections > 0 ? Json(o.sections) : Json(nullptr);
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

// The holes and outliers found, the fill and the smoothing, and the classes of -sections.
Json mapsOf(const MapFacts& maps) {
  Json classes = Json::array();
  for (const ThicknessClass& c : maps.classes.classes) {
    classes.push_back({{"from", c.from}, {"to", c.to}, {"mean", c.mean}, {"elements", c.elements}});
  }
  return {{"trabecular_open_edges", maps.openEdges},
          {"hole_rim_edges", maps.rimEdges},
          {"at_hole", maps.atHole},
          {"outlier", maps.outliers},
          {"filled", maps.filled},
          {"unfilled", maps.unfilled},
          {"smooth_fwhm", maps.smoothWidth > 0 ? Json(maps.smoothWidth) : Json(nullptr)},
          {"classes", classes}};
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

Json ctOf(const CtFacts& ct) {
  const Volume& v = *ct.image;
  Json direction = Json::array();
  for (int axis = 0; axis < 3; ++axis) {
    direction.push_back({v.direction[0][axis], v.direction[1][axis], v.direction[2][axis]});
  }
  Json image = {{"format", v.format},
                {"voxel_type", v.voxelType},
                {"size", {v.size[0], v.size[1], v.size[2]}},
                {"spacing", {v.spacing[0], v.spacing[1], v.spacing[2]}},
                {"origin", {v.origin[0], v.origin[1], v.origin[2]}},
                {"axes", direction},
                {"frame", "LPS"}};
  const CtCalibration& c = ct.calibration;
  return {{"image", image},
          {"surfaces_frame", ct.surfacesFrame},
          {"sigma", c.sigma},
          {"sigma_estimated", c.sigmaEstimated},
          {"cortical_density", c.cortex},
          {"cortical_density_estimated", c.cortexEstimated},
          {"nodes_sampled", c.sampled},
          {"thick_sites", c.thickSites}};
}

Json textOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

// The length of the well-formed UTF-8 character at `at`, or 0.
size_t utf8Length(const std::string& text, size_t at) {
  unsigned char lead = text[at];
  size_t length = lead < 0x80         ? 1
                  : (lead >> 5) == 6  ? 2
                  : (lead >> 4) == 14 ? 3
                  : (lead >> 3) == 30 ? 4
                                      : 0;
  if (length == 0 || at + length > text.size()) return 0;
  unsigned code = length == 1 ? lead : lead & (0x7f >> length);
  for (size_t k = 1; k < length; ++k) {
    unsigned char next = text[at + k];
    if ((next >> 6) != 2) return 0;
    code = code << 6 | (next & 0x3f);
  }
  static const unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  bool surrogate = code >= 0xd800 && code <= 0xdfff;
  return code < kLeast[length] || code > 0x10ffff || surrogate ? 0 : length;
}

// Paths and messages may hold any bytes; JSON holds UTF-8, so a byte that is
// not part of a character is written as the four characters \xBF.
std::string escapedUtf8(const std::string& text) {
  std::string escaped;
  for (size_t at = 0; at < text.size();) {
    size_t length = utf8Length(text, at);
    if (length > 0) {
      escaped.append(text, at, length);
      at += length;
      continue;
    }
    char hex[5];
    snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[at++]));
    escaped += hex;
  }
  return escaped;
}

// Every string of `value`, keys included, made UTF-8.
Json escapedStrings(const Json& value) {
  if (value.is_string()) return escapedUtf8(value.get<std::string>());
  if (value.is_array()) {
    Json array = Json::array();
    for (const Json& item : value) array.push_back(escapedStrings(item));
    return array;
  }
  if (!value.is_object()) return value;
  Json object = Json::object();
  for (const auto& [key, item] : value.items()) object[escapedUtf8(key)] = escapedStrings(item);
  return object;
}

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
    for (int q = 0; q < kQualities; ++q) {
      if (facts.pass->tells(q)) quality[kQualityNames[q]] = facts.pass->qualityCounts[q];
    }
    record["quality"] = quality;
  }
  if (facts.ct.image) record["ct"] = ctOf(facts.ct);
  if (facts.maps) record["maps"] = mapsOf(*facts.maps);
  Json seconds = Json::object();
  for (const auto& [stage, time] : facts.stageSeconds) seconds[stage] = time;
  record["stage_seconds"] = seconds;
  if (!facts.lastCompleteRun.empty()) {
    record["last_complete_run"] = Json::parse(facts.lastCompleteRun, nullptr, false);
  }
  std::string text = escapedStrings(record).dump(2) + "\n";
  return fwrite(text.data(), 1, text.size(), json) == text.size() && fflush(json) == 0 ? 0 : -1;
}

std::string lastCompleteRunOf(const std::string& earlierRecord) {
  Json earlier = Json::parse(earlierRecord, nullptr, false);
  if (!earlier.is_object() || earlier.value("tool", Json()) != "verdask") return "";
  if (earlier.value("exit_code", Json()) == 0) return earlier.dump();
  Json carried = earlier.value("last_complete_run", Json());
  return carried.is_object() ? carried.dump() : "";
}

}  // namespace verdask
