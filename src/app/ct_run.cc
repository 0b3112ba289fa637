#include "app/ct_run.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/exit_status.h"
#include "base/report.h"

namespace verdask {

bool readCtOption(int argc, char** argv, int& i, RunOptions& options, int* code) {
  *code = kExitSuccess;
  if (strcmp(argv[i], "-ct") == 0) {
    // Its file was opened with the inputs, before any output.
    i += 2;
    if (i > argc) {
      report("missing file name after -ct\n");
      *code = printUsage();
    }
    return true;
  }
  if (strcmp(argv[i], "-ct-frame") != 0) return false;
  const char* value = i + 1 < argc ? argv[i + 1] : "";
  if (strcmp(value, "lps") != 0 && strcmp(value, "ras") != 0) {
    report("entered invalid frame for the CT image: lps or ras\n");
    *code = printUsage();
    return true;
  }
  options.ctRas = strcmp(value, "ras") == 0;
  i += 2;
  return true;
}

int checkCtOptions(const InputFiles& inputs, const RunOptions& options) {
  bool ct = options.measure->fromImage;
  const char* fault = nullptr;
  if (ct && !inputs.ctName) {
    fault = "-measure ct needs the CT image: -ct FILE\n";
  } else if (!ct && inputs.ctName) {
    fault = "-ct is read by -measure ct alone\n";
  } else if (!ct && strcmp(inputs.trabecularName, "-") == 0) {
    fault = "the trabecular surface may be - only with -measure ct\n";
  } else if (!(std::isnan(options.ctSigma) || options.ctSigma > 0) ||
             !(std::isnan(options.ctCortex) || options.ctCortex > 0)) {
    fault = "-ct-sigma and -ct-cortex must be positive\n";
  }
  if (!fault) return kExitSuccess;
  report("%s", fault);
  return printUsage();
}

CtOptions ctOptionsOf(const RunOptions& options) {
  CtOptions ct;
  ct.frame = options.ctRas ? CtFrame::kRas : CtFrame::kLps;
  ct.sigma = std::isnan(options.ctSigma) ? 0 : options.ctSigma;
  ct.cortex = std::isnan(options.ctCortex) ? 0 : options.ctCortex;
  ct.maxThick = options.maxThick;
  return ct;
}

int readCtImage(const char* name, Volume& volume, int threads, std::string* line) {
  std::string why = readVolume(name, volume, threads);
  char text[400];
  if (!why.empty()) {
    *line = std::string("Failure reading the CT image ") + name + ": it " + why + "\n";
    return -1;
  }
  snprintf(text, sizeof text, "Found %lld x %lld x %lld voxels of %g x %g x %g mm in %s (%s, %s)\n",
           volume.size[0], volume.size[1], volume.size[2], volume.spacing[0], volume.spacing[1],
           volume.spacing[2], name, volume.format.c_str(), volume.voxelType.c_str());
  *line = text;
  return 0;
}

std::string ctCalibrationLine(const CtCalibration& c) {
  char text[300];
  auto source = [&](bool estimated) {
    return estimated ? "estimated from " + std::to_string(c.thickSites) + " thick sites"
                     : std::string("given");
  };
  snprintf(text, sizeof text, "CT blur sigma %.4f mm (%s), cortical density %.6g (%s)\n", c.sigma,
           source(c.sigmaEstimated).c_str(), c.cortex, source(c.cortexEstimated).c_str());
  return text;
}

}  // namespace verdask
