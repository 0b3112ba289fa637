#include "app/run.h"

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "io/readers.h"
#include "output/shell_cards.h"
#include "output/thickness_view.h"
#include "thickness/thickness_pass.h"

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

}  // namespace

int runVerdask(InputFiles& inputs, RunOptions& options) {
  printSettings(inputs, options);
  PointSet mesh, cortical, trabecular;
  int meshCount, corticalCount, trabecularCount;
  if (parseMeshVertices(inputs.mesh.get(), mesh, meshCount) != 0) {
    printf("Failure parsing vertices in mesh.hmascii file\n");
    return -1;
  }
  printf("Used %d vertices in mesh surface .hmascii file\n", meshCount);
  if (parseSurfVertices(inputs.cortical.get(), cortical, corticalCount) != 0) {
    printf("Failure parsing vertices in cort.surf file\n");
    return -2;
  }
  printf("Found %d vertices in cort.surf file\n", corticalCount);
  if (parseSurfVertices(inputs.trabecular.get(), trabecular, trabecularCount) != 0) {
    printf("Failure parsing vertices in trab.surf file\n");
    return -3;
  }
  printf("Found %d vertices in trab.surf file\n", trabecularCount);
  std::unique_ptr<Coord3[]> normals;
  if (parseNormals(inputs.normals.get(), corticalCount, normals) != 0) {
    printf("Failure parsing normals in norm.vtk file\n");
    return -4;
  }
  printf("Found %d normals in norm.vtk file\n", corticalCount);
  // The VTK view and the summary need what the pass and the deck saw.
  bool viewed = options.vtk.get() || options.summary;
  PassRecord record;
  std::vector<int> corners;
  std::unique_ptr<float[]> thickness(new (std::nothrow) float[meshCount]);
  if (!thickness ||
      calculateValues(options.table.get(), options.answers.get(), mesh, cortical, trabecular,
                      normals.get(), thickness.get(), options.adjThick, options.maxThick,
                      options.minThick, TrabecularQuery::kNearestOnly,
                      viewed ? &record : nullptr) != 0) {
    printf("Failure calculating values\n");
    return -5;
  }
  printf("Finished calculating values\n");
  if (writeShellCards(inputs.mesh.get(), options.keyword.get(), thickness.get(), meshCount,
                      options.shellNum, options.shellVal, viewed ? &corners : nullptr) != 0) {
    printf("Failure parsing triangles in .ascii file\n");
    return -6;
  }
  printf("Finished parsing triangles in .ascii file\n");
  if (options.vtk.get() &&
      writeThicknessVtk(options.vtk.get(), mesh, corners, thickness.get(), record) != 0) {
    printf("Failure writing the VTK file\n");
    return -7;
  }
  if (options.summary)
    printRunSummary(static_cast<int>(corners.size() / 3), thickness.get(), record);
  return 0;
}
