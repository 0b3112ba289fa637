// The readers written the straightforward way, one fgets and one sscanf (or
// fscanf) per step, as the yardstick for the buffered readers.
#pragma once

#include <cstdio>
#include <vector>

namespace verdask {

int referenceMeshVertices(FILE* mesh, std::vector<double>& coords, int& count);
int referenceSurfVertices(FILE* surf, std::vector<double>& coords, int& count);
int referenceNormals(FILE* vtk, int count, std::vector<double>& normals);

}  // namespace verdask
