#include "app/run.h"

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "app/exit_status.h"
#include "io/readers.h"
#include "output/shell_cards.h"
#include "output/thickness_view.h"
#include "thickness/thickness_pass.h"

namespace verdask {

namespace {

void printSettings(const InputFiles& inputs, const RunOptions& options) {
  printf("thickness addition : %lf\n", options.adjThick);
  printf("maximum thickness : %lf\n", options.maxThick);
  printf("minimum thickness : %lf\n", options.minThick);
  printf("start shells with : %d\n", options.shellNum);
  printf("assinging shell value : %d\n", options.shellVal);
  printf("using mesh file       : %s\n", inputs.meshName);
  printf("using cortical file   : %s\n", inputs.corticalName);
  printf("using normals file    : %s\n", inputs.normalsName);
  printf("using trabecular file : %s\n\n", inputs.trabecularName);
}

// What the readers hand on: the three point sets and the normals.
struct RunInputs {
  PointSet mesh, cortical, trabecular;
  int meshCount = 0, corticalCount = 0, trabecularCount = 0;
  std::unique_ptr<Coord3[]> normals;
};

// Runs the four readers; returns 0 or the exit code of the first that failed.
int readInputs(InputFiles& files, RunInputs& in) {
  if (parseMeshVertices(files.mesh.get(), in.mesh, in.meshCount) != 0) {
    printf("Failure parsing vertices in mesh.hmascii file\n");
    return kExitMeshFailed;
  }
  printf("Used %d vertices in mesh surface .hmascii file\n", in.meshCount);
  if (parseSurfVertices(files.cortical.get(), in.cortical, in.corticalCount) != 0) {
    printf("Failure parsing vertices in cort.surf file\n");
    return kExitCorticalFailed;
  }
  printf("Found %d vertices in cort.surf file\n", in.corticalCount);
  if (parseSurfVertices(files.trabecular.get(), in.trabecular, in.trabecularCount) != 0) {
    printf("Failure parsing vertices in trab.surf file\n");
    return kExitTrabecularFailed;
  }
  printf("Found %d vertices in trab.surf file\n", in.trabecularCount);
  if (parseNormals(files.normals.get(), in.corticalCount, in.normals) != 0) {
    printf("Failure parsing normals in norm.vtk file\n");
    return kExitNormalsFailed;
  }
  printf("Found %d normals in norm.vtk file\n", in.corticalCount);
  return kExitSuccess;
}

// The VTK view and the summary, from what the pass and the deck saw.
int showThickness(const RunOptions& options, const PointSet& mesh, const float* thickness,
                  const std::vector<int>& corners, const PassRecord& record) {
  if (options.vtk.get() && writeThicknessVtk(options.vtk.get(), mesh, corners, thickness, record)) {
    printf("Failure writing the VTK file\n");
    return kExitViewFailed;
  }
  if (options.summary) printRunSummary(static_cast<int>(corners.size() / 3), thickness, record);
  return kExitSuccess;
}

// Angles mostly above 90 degrees mean the normals point away from the
// trabecular surface; the deck is still written.
void warnIfSurfacesSwapped(const PassRecord& record, int meshCount) {
  if (2LL * record.obtuseAngles <= meshCount) return;
  fprintf(stderr,
          "verdask: warning: %d of %d angles exceed 90 degrees: the cortical and trabecular "
          "surfaces may be swapped, or the normals inverted\n",
          record.obtuseAngles, meshCount);
}

}  // namespace

int runVerdask(InputFiles& inputs, RunOptions& options) {
  printSettings(inputs, options);
  RunInputs in;
  if (int code = readInputs(inputs, in)) return code;
  bool viewed = options.vtk.get() || options.summary;
  PassRecord record;
  record.keepVertices = viewed;
  std::vector<int> corners;
  std::unique_ptr<float[]> thickness(new (std::nothrow) float[in.meshCount]);
  if (!thickness || calculateValues(options.table.get(), options.answers.get(), in.mesh,
                                    in.cortical, in.trabecular, in.normals.get(), thickness.get(),
                                    options.adjThick, options.maxThick, options.minThick,
                                    TrabecularQuery::kNearestOnly, &record) != 0) {
    printf("Failure calculating values\n");
    return kExitPassFailed;
  }
  printf("Finished calculating values\n");
  warnIfSurfacesSwapped(record, in.meshCount);
  if (writeShellCards(inputs.mesh.get(), options.keyword.get(), thickness.get(), in.meshCount,
                      options.shellNum, options.shellVal, viewed ? &corners : nullptr) != 0) {
    printf("Failure parsing triangles in .ascii file\n");
    return kExitDeckFailed;
  }
  printf("Finished parsing triangles in .ascii file\n");
  return showThickness(options, in.mesh, thickness.get(), corners, record);
}

}  // namespace verdask
