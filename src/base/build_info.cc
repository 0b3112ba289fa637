#include "base/build_info.h"

#include <ANN/ANN.h>
#include <CGAL/version_macros.h>
#include <openssl/crypto.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#include <nanoflann.hpp>
#include <nlohmann/json.hpp>

#include "commit.h"  // written by the build: VERDASK_COMMIT

namespace verdask {

namespace {

std::string dotted(int major, int minor, int patch) {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

}  // namespace

BuildInfo buildInfo() {
  BuildInfo info;
  info.version = VERDASK_VERSION;
  info.commit = VERDASK_COMMIT;
  info.compiler = "g++ " __VERSION__;
#ifdef __clang__
  info.compiler = "clang " __clang_version__;
#endif
  info.buildType = VERDASK_BUILD_TYPE;
  info.libraries = {
      {"ANN", ANNversion},
      {"nanoflann",
       dotted(NANOFLANN_VERSION >> 8, NANOFLANN_VERSION >> 4 & 0xf, NANOFLANN_VERSION & 0xf)},
      {"CGAL", CGAL_VERSION_STR},
      {"nlohmann_json", dotted(NLOHMANN_JSON_VERSION_MAJOR, NLOHMANN_JSON_VERSION_MINOR,
                               NLOHMANN_JSON_VERSION_PATCH)},
      {"OpenSSL", OpenSSL_version(OPENSSL_VERSION)},
      {"fast_float", VERDASK_FAST_FLOAT_VERSION},
  };
  return info;
}

Whereabouts whereabouts() {
  Whereabouts here;
  char text[PATH_MAX + 1] = "";
  time_t now = time(nullptr);
  struct tm utc;
  if (gmtime_r(&now, &utc) && strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc)) {
    here.utcTime = text;
  }
  if (gethostname(text, sizeof text - 1) == 0) here.host = text;
  if (getcwd(text, sizeof text)) here.workingFolder = text;
  return here;
}

}  // namespace verdask
