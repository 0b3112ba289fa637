#include "reference_readers.h"

#include <cmath>
#include <cstring>

namespace verdask {

namespace {

bool inRange(const double* xyz) {
  return std::fabs(xyz[0]) <= 1e150 && std::fabs(xyz[1]) <= 1e150 && std::fabs(xyz[2]) <= 1e150;
}

}  // namespace

int referenceMeshVertices(FILE* mesh, std::vector<double>& coords, int& count) {
  char line[1024];
  count = 0;
  if (!fgets(line, sizeof line, mesh))
    return printf("Failed to read first line of .hmascii file\n"), -2;
  while (!strstr(line, "tri3")) {
    if (!fgets(line, sizeof line, mesh)) {
      return printf("Reached end of .hmascii file before finding '*tri3()'\n"), -3;
    }
  }
  while (strstr(line, "tri3")) {
    int c[3];
    if (sscanf(line, "%*c%*c%*c%*c%*c%*c%*d%*c%*d%*c%d%*c%d%*c%d", &c[0], &c[1], &c[2]) != 3) {
      return printf("Unable to read tri values in .hmascii file\n"), -4;
    }
    for (int corner : c) count = corner > count ? corner : count;
    if (!fgets(line, sizeof line, mesh)) break;
  }
  if (count == 0) return printf("Invalid number of vertices found in .surf file\n"), -5;
  rewind(mesh);
  do {
    if (!fgets(line, sizeof line, mesh)) {
      return printf("Reached end of .hmascii file before finding 'BEGIN NODES'\n"), -6;
    }
  } while (!strstr(line, "BEGIN NODES"));
  coords.assign(3 * static_cast<size_t>(count), 0.0);
  for (int k = 1; k <= count; ++k) {
    double* xyz = &coords[3 * (k - 1)];
    if (!fgets(line, sizeof line, mesh)) {
      return printf("Reached end of .hmascii file before finding all vertices\n"), -7;
    }
    long long number;
    if (sscanf(line, "%*c%*c%*c%*c%*c%*c%lld%*c%lg%*c%lg%*c%lg", &number, &xyz[0], &xyz[1],
               &xyz[2]) != 4) {
      return printf("Couldn't read value of vertex #%d in .surf file\n", k), -8;
    }
    if (number != k) {
      return printf(
                 "Node line #%d after 'BEGIN NODES' carries number %lld, expected %d: "
                 "nodes must be numbered 1..N in file order\n",
                 k, number, k),
             -12;
    }
    if (!inRange(xyz)) {
      return printf("Coordinate not finite or too large in vertex #%d of .hmascii file\n", k), -10;
    }
  }
  return 0;
}

int referenceMeshElements(FILE* mesh, int vertexCount, std::vector<int>& corners) {
  char line[1024];
  if (!fgets(line, sizeof line, mesh))
    return printf("Failed to read first line of .hmascii file\n"), -1;
  while (!strstr(line, "tri3") && !strstr(line, "quad4")) {
    if (!fgets(line, sizeof line, mesh)) {
      return printf("Reached end of .hmascii file before finding '*tri3()'\n"), -2;
    }
  }
  while (strstr(line, "*tri3") || strstr(line, "*quad4")) {
    int number = static_cast<int>(corners.size() / 4) + 1, c[4];
    bool quad = !strstr(line, "tri3");
    int read =
        quad ? sscanf(line, "%*c%*c%*c%*c%*c%*c%*c%*d%*c%*d%*c%d%*c%d%*c%d%*c%d", &c[0], &c[1],
                      &c[2], &c[3])
             : sscanf(line, "%*c%*c%*c%*c%*c%*c%*d%*c%*d%*c%d%*c%d%*c%d", &c[0], &c[1], &c[2]);
    if (read != (quad ? 4 : 3)) {
      return printf(quad ? "Couldn't read value of quad #%d in .hmascii file\n"
                         : "Couldn't read value of triangle #%d in .surf file\n",
                    number),
             -4;
    }
    if (!quad) c[3] = c[2];
    for (int corner : c) {
      if (corner < 1 || corner > vertexCount) {
        return printf("Triangle #%d uses node %d, outside the mesh's %d vertices\n", number, corner,
                      vertexCount),
               -5;
      }
    }
    corners.insert(corners.end(), c, c + 4);
    if (!fgets(line, sizeof line, mesh)) break;
  }
  return 0;
}

int referenceSurfVertices(FILE* surf, std::vector<double>& coords, int& count) {
  char line[1024];
  count = 0;
  if (!fgets(line, sizeof line, surf))
    return printf("Failed to read first line of .surf file\n"), -2;
  if (line[0] == '#' && strstr(line, "BINARY")) {
    return printf("Binary .surf files are not read: save the surface file as ASCII\n"), -10;
  }
  while (!strstr(line, "Vertices")) {
    if (!fgets(line, sizeof line, surf)) {
      return printf("Reached end of .surf file before finding 'Vertices'\n"), -3;
    }
  }
  if (sscanf(line, "%*s %d", &count) != 1) {
    return printf("Couldn't read number of vertices in .surf file\n"), -4;
  }
  if (count <= 0) return printf("Invalid number of vertices found in .surf file\n"), -5;
  coords.assign(3 * static_cast<size_t>(count), 0.0);
  for (int k = 1; k <= count; ++k) {
    double* xyz = &coords[3 * (k - 1)];
    if (!fgets(line, sizeof line, surf)) {
      return printf("Reached end of .surf file before finding all vertices\n"), -6;
    }
    if (sscanf(line, "%lg %lg %lg", &xyz[0], &xyz[1], &xyz[2]) != 3) {
      return printf("Couldn't read value of vertex #%d in .surf file\n", k), -7;
    }
    if (!inRange(xyz)) {
      return printf("Coordinate not finite or too large in vertex #%d of .surf file\n", k), -9;
    }
  }
  return 0;
}

int referenceNormals(FILE* vtk, int count, std::vector<double>& normals) {
  char piece[40];
  normals.assign(3 * static_cast<size_t>(count), 0.0);
  if (!fgets(piece, sizeof piece, vtk))
    return printf("Failed to read first line of .vtk file\n"), -2;
  bool cells = false;
  long long points = -1;
  int line = 1;
  bool startsLine = true;
  while (!strstr(piece, "NORMALS")) {
    char word[40], rest[40];
    if (line <= 3 && startsLine && sscanf(piece, " %39s %39s", word, rest) == 1 &&
        strcmp(word, "BINARY") == 0) {
      return printf("Binary .vtk files are not read: save the normals file as ASCII\n"), -9;
    }
    bool pointData = strncmp(piece, "POINT_DATA", 10) == 0;
    if (pointData || strncmp(piece, "CELL_DATA", 9) == 0) {
      cells = !pointData;
      if (sscanf(piece, "%*s %lld", &points) != 1) points = -1;
    }
    startsLine = strlen(piece) > 0 && piece[strlen(piece) - 1] == '\n';
    line += startsLine;
    if (!fgets(piece, sizeof piece, vtk)) {
      return printf("Reached end of .vtk file before finding 'NORMALS'\n"), -3;
    }
  }
  if (cells) {
    return printf(
               "NORMALS in .vtk file are cell data (CELL_DATA %lld), not one per cortical "
               "vertex (%d)\n",
               points, count),
           -8;
  }
  if (points >= 0 && points != count) {
    return printf(
               "NORMALS in .vtk file are given for %lld points (POINT_DATA), not for the %d "
               "cortical vertices\n",
               points, count),
           -8;
  }
  for (int k = 1; k <= count; ++k) {
    double* n = &normals[3 * (k - 1)];
    int converted = fscanf(vtk, "%lf %lf %lf", &n[0], &n[1], &n[2]);
    if (converted == EOF) {
      return printf("Reached end of .vtk file before finding all normals: %d/%d\n", k, count), -4;
    }
    if (converted != 3) return printf("Couldn't read value of normal #%d in .vtk file\n", k), -5;
  }
  return 0;
}

}  // namespace verdask
