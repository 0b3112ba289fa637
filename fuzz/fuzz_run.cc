// A whole run: the input holds the four files, split at "\n====\n", its
// first byte picks the options and its length the measure and the maps.
#include "app/run.h"
#include "fuzz_input.h"

using namespace verdask;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<std::string> files = splitInput(data + 1, size - 1, 4);
  InputFiles inputs;
  inputs.meshName = "mesh.hmascii";
  inputs.corticalName = "cort.surf";
  inputs.normalsName = "norm.vtk";
  inputs.trabecularName = "trab.surf";
  inputs.meshFormat = inputFormatOf(inputs.meshName, InputRole::kMesh);
  inputs.corticalFormat = inputFormatOf(inputs.corticalName, InputRole::kSurface);
  inputs.normalsFormat = inputFormatOf(inputs.normalsName, InputRole::kNormals);
  inputs.trabecularFormat = inputFormatOf(inputs.trabecularName, InputRole::kSurface);
  FileHandle* handles[] = {&inputs.mesh, &inputs.cortical, &inputs.normals, &inputs.trabecular};
  for (int i = 0; i < 4; ++i) {
    handles[i]->reset(
        memoryFile(reinterpret_cast<const uint8_t*>(files[i].data()), files[i].size()));
    if (!handles[i]->get()) return 0;
  }
  RunOptions options;
  options.threads = 1;
  options.adjThick = (data[0] & 3) - 1.5;
  options.minThick = (data[0] >> 2 & 3) * 0.5;
  options.maxThick = (data[0] >> 4 & 7) * 0.75;
  options.shellNum = data[0] & 0x80 ? -2147483647 : 1;
  // The input's length picks the measure; the complete decks are written too.
  options.measure = &kMeasureKinds[size % 4];  // the measures between surfaces
  // And on from it, the maps: -fill, -smooth 2, -sections 3.
  options.fill = size / 4 % 2;
  options.smoothWidth = size / 8 % 2 ? 2.0 : 0.0;
  options.sections = size / 16 % 2 ? 3 : 0;
  for (FileHandle* output : {&options.answers, &options.table, &options.keyword, &options.json}) {
    output->reset(fopen("/dev/null", "wb"));
  }
  for (int k = 0; k < kExtraOutputCount; ++k) {
    if (kExtraOutputs[k].completeDeck) options.extras[k].reset(fopen("/dev/null", "wb"));
  }
  runVerdask(inputs, options);
  return 0;
}
