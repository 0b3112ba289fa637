#include <cstdio>
#include <cstring>
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
  kNotPerCorticalVertex = -8,
  kBinaryFile = -9,
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

// The last POINT_DATA or CELL_DATA line before the marker: what the normals belong to.
struct DataSection {
  enum Kind { kNone, kPoints, kCells } kind = kNone;
  long long count = -1;  // -1 when the line gives none
};

bool startsWith(const LineView& piece, const char* word) {
  size_t length = strlen(word);
  return piece.size() >= length && memcmp(piece.begin, word, length) == 0;
}

void noteDataSection(const LineView& piece, DataSection* section) {
  DataSection::Kind kind = startsWith(piece, "POINT_DATA")  ? DataSection::kPoints
                           : startsWith(piece, "CELL_DATA") ? DataSection::kCells
                                                            : DataSection::kNone;
  if (kind == DataSection::kNone) return;
  char buffer[kMarkerPieceMax + 1];
  piece.copyTo(buffer);
  section->kind = kind;
  if (sscanf(buffer, "%*s %lld", &section->count) != 1) section->count = -1;
}

// The format line of a legacy VTK file is ASCII or BINARY.
bool isBinaryFormatLine(const LineView& piece) {
  const char* begin = piece.begin;
  const char* end = piece.end;
  while (begin < end && isScanSpace(*begin)) ++begin;
  while (end > begin && isScanSpace(end[-1])) --end;
  return end - begin == 6 && memcmp(begin, "BINARY", 6) == 0;
}

// Reads up to the first piece that contains "NORMALS", noting the data
// section it stands in; 0, or the status after its message.
int findMarker(LineReader& text, DataSection* section) {
  LineView piece;
  if (!text.next(&piece)) {
    printf("Failed to read first line of .vtk file\n");
    return kEmptyFile;
  }
  while (!piece.contains("NORMALS")) {
    if (isBinaryFormatLine(piece)) {
      printf("Binary .vtk files are not read: save the normals file as ASCII\n");
      return kBinaryFile;
    }
    noteDataSection(piece, section);
    text.skipLinesWithoutAny({"NORMALS", "POINT_DATA", "CELL_DATA", "BINARY"});
    if (!text.next(&piece)) {
      printf("Reached end of .vtk file before finding 'NORMALS'\n");
      return kNoMarker;
    }
  }
  return 0;
}

// Normals of cells, or of another number of points, would be read as if
// they belonged to the cortical vertices.
int checkDataSection(const DataSection& section, int count) {
  if (section.kind == DataSection::kCells) {
    printf(
        "NORMALS in .vtk file are cell data (CELL_DATA %lld), not one per cortical vertex (%d)\n",
        section.count, count);
    return kNotPerCorticalVertex;
  }
  if (section.kind == DataSection::kPoints && section.count >= 0 && section.count != count) {
    printf(
        "NORMALS in .vtk file are given for %lld points (POINT_DATA), not for the %d cortical "
        "vertices\n",
        section.count, count);
    return kNotPerCorticalVertex;
  }
  return 0;
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
  DataSection section;
  if (int status = findMarker(text, &section)) return status;
  if (int status = checkDataSection(section, count)) return status;
  return readTriples(text, vtk, count, normals.get());
}

}  // namespace verdask
