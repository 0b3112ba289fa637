// One of the image header parsers this tool owns, chosen by the build
// (FUZZ_VOLUME: parseMetaImage or parseNrrd), on any bytes; an image it
// accepts is then sampled at its corners and centre, as the CT measure samples it.
#include <string>

#include "input/volume.h"
#include "thickness/ct_measure.h"

using namespace verdask;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Volume volume;
  // A folder that is not there: a data file the header names is never read.
  std::string why =
      FUZZ_VOLUME(std::string(reinterpret_cast<const char*>(data), size), "/nonexistent/", volume);
  if (!why.empty() || !volume.voxels) return 0;
  VolumeSampler sampler(volume);
  for (double t : {0.0, 0.5, 1.0}) {
    Coord3 p{volume.origin[0], volume.origin[1], volume.origin[2]};
    for (int axis = 0; axis < 3; ++axis) {
      double along = t * (volume.size[axis] - 1) * volume.spacing[axis];
      p.x += along * volume.direction[0][axis];
      p.y += along * volume.direction[1][axis];
      p.z += along * volume.direction[2][axis];
    }
    float value;
    sampler.at(p, &value);
  }
  return 0;
}
