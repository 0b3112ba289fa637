#include <cstdio>
#include <new>

#include "io/line_reader.h"
#include "io/number_scan.h"
#include "io/platform.h"
#include "io/readers.h"

namespace verdask {

namespace {

enum NormalsStatus {
  kNoStream = -1,
  kEmptyFile = -2,
  kNoMarker = -3,
  kEndBeforeAllNormals = -4,
  kBadNormal = -5,
  kOutOfMemory = -6,
  kCannotSeek = -7,
};

// The marker search reads through a 40-byte buffer: pieces of 39 characters.
constexpr size_t kMarkerPieceMax = 39;
// A plain triple is taken on the fast path only when it lies within this much text.
constexpr size_t kTripleWindow = 4096;

// Reads one triple of plain decimals from the buffered text; false, with
// nothing consumed, whenever the C library has to decide.
bool readPlainTriple(LineReader& text, Coord3* normal) {
  size_t available = text.fill(kTripleWindow);
  bool fileEndsInWindow = available < kTripleWindow;
  const char* start = text.cursor();
  const char* end = start + available;
  const char* p = start;
  double* xyz[3] = {&normal->x, &normal->y, &normal->z};
  for (double* value : xyz) {
    while (p < end && isScanSpace(*p)) ++p;
    p = parsePlainDouble(p, end, value);
    if (!p || (p == end && !fileEndsInWindow)) return false;
  }
  text.consume(p - start);
  return true;
}

// Scans triples k to count with the C library, from where the text was handed back.
int readTriplesWithLibrary(FILE* vtk, int k, int count, Coord3* normals) {
  for (; k <= count; ++k) {
    Coord3& n = normals[k - 1];
    int converted = fscanf(vtk, "%lf %lf %lf", &n.x, &n.y, &n.z);
    if (converted == EOF) {
      printf("Reached end of .vtk file before finding all normals: %d/%d\n", k, count);
      return kEndBeforeAllNormals;
    }
    if (converted != 3) {
      printf("Couldn't read value of normal #%d in .vtk file\n", k);
      return kBadNormal;
    }
  }
  return 0;
}

int readTriples(LineReader& text, FILE* vtk, int count, Coord3* normals) {
  int k = 1;
  while (k <= count && readPlainTriple(text, &normals[k - 1])) ++k;
  if (k > count) return 0;
  if (!text.handBack()) {
    printf("Failed to seek in .vtk file\n");
    return kCannotSeek;
  }
  return readTriplesWithLibrary(vtk, k, count, normals);
}

}  // namespace

int parseNormals(FILE* vtk, int count, std::unique_ptr<Coord3[]>& normals) {
  if (!vtk) {
    printf("Failed to open .norm file\n");
    return kNoStream;
  }
  normals.reset(new (std::nothrow) Coord3[count > 0 ? count : 0]);
  if (!normals) {
    printf("Not enough memory for %d normals of .vtk file\n", count);
    return kOutOfMemory;
  }
  adviseHugePages(normals.get(), sizeof(Coord3) * count);
  LineReader text(vtk, kMarkerPieceMax);
  LineView piece;
  if (!text.next(&piece)) {
    printf("Failed to read first line of .vtk file\n");
    return kEmptyFile;
  }
  if (!skipToKeyword(text, &piece, "NORMALS")) {
    printf("Reached end of .vtk file before finding 'NORMALS'\n");
    return kNoMarker;
  }
  return readTriples(text, vtk, count, normals.get());
}

}  // namespace verdask
