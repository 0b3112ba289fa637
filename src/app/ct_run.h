// The measure from a CT image in a run: its options, its image and the
// values its fits hold.
#pragma once

#include <string>

#include "app/run.h"
#include "input/volume.h"
#include "thickness/ct_measure.h"

namespace verdask {

/// Reads -ct FILE (whose file readArguments has opened) or -ct-frame
/// lps|ras at argv[i], advancing i; false when argv[i] is neither. A
/// missing or unknown value is a usage error, its code in `code`.
bool readCtOption(int argc, char** argv, int& i, RunOptions& options, int* code);

/// Whether -ct, -measure ct, a trabecular "-" and the CT values agree: 0, or
/// the usage exit code after saying why.
int checkCtOptions(const InputFiles& inputs, const RunOptions& options);

/// The CT measure's options as the run's options give them.
CtOptions ctOptionsOf(const RunOptions& options);

/// Reads the image of -ct; 0, with the line that tells what was found in
/// `line`, or nonzero with the line that tells why it cannot be used.
int readCtImage(const char* name, Volume& volume, int threads, std::string* line);

/// The line that tells the blur and the cortical density the fits hold.
std::string ctCalibrationLine(const CtCalibration& calibration);

}  // namespace verdask
