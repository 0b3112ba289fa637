// The readers written the straightforward way, one fgets and one sscanf (or
// fscanf) per step, as the yardstick for the buffered readers.
#pragma once

#include <cstdio>
#include <vector>

namespace verdask {

int referenceMeshVertices(FILE* mesh, std::vector<double>& coords, int& count);
/// The element lines on from where referenceMeshVertices left the stream:
/// four corners per element, a triangle's third repeated.
int referenceMeshElements(FILE* mesh, int vertexCount, std::vector<int>& corners);
int referenceSurfVertices(FILE* surf, std::vector<double>& coords, int& count);
int referenceNormals(FILE* vtk, int count, std::vector<double>& normals);

}  // namespace verdask
