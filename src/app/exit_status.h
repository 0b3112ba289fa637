// The process's exit codes, as the README lists them.
#pragma once

namespace verdask {

enum ExitStatus {
  kExitSuccess = 0,
  kExitUsage = -1,             // too few files, a bad option value
  kExitMeshFailed = -1,        // the mesh could not be read
  kExitCorticalFailed = -2,    // the cortical surface could not be read
  kExitTrabecularFailed = -3,  // the trabecular surface could not be read
  kExitNormalsFailed = -4,     // the normals could not be read
  kExitPassFailed = -5,        // the thickness pass failed
  kExitDeckFailed = -6,        // the keyword deck failed
  kExitOutputFailed = -7,      // an extra output (-vtk, -nodal, -json) could not be written,
                               // or a material is mapped to a part the mesh has not
  kExitStrictWarnings = -8,    // -strict, and the run warned
  kExitInputsRefused = -9,     // the inputs do not fit together, and no -force
  kExitImageFailed = -10,      // the CT image cannot be read, or not used with these surfaces
  kExitOpenFailed = -13,       // a file could not be opened, or an output clashes
};

}  // namespace verdask
