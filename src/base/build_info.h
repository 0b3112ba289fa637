// What the tool was built from and with, and where it runs, for the run record.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace verdask {

struct BuildInfo {
  std::string version, commit, compiler, buildType;
  std::vector<std::pair<std::string, std::string>> libraries;  // name, version
};

BuildInfo buildInfo();

struct Whereabouts {
  std::string utcTime, host, workingFolder;
};

Whereabouts whereabouts();

}  // namespace verdask
