#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "io/line_reader.h"
#include "io/number_scan.h"
#include "io/platform.h"
#include "io/readers.h"
#include "io/report.h"

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
  kNotFinite = -10,
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

// Reads triples with the C library, from where the text was handed back,
// until one does not convert or `limit` are read.
void readTriplesWithLibrary(FILE* vtk, size_t limit, NormalsScan& scan) {
  while (scan.normals.size() < limit) {
    Coord3 n;
    int converted = fscanf(vtk, "%lf %lf %lf", &n.x, &n.y, &n.z);
    if (converted != 3) {
      scan.end = converted == EOF ? NormalsScan::End::kEndOfFile : NormalsScan::End::kBadValue;
      return;
    }
    scan.normals.push_back(n);
  }
}

// Every triple after the marker, up to `limit`: plain decimals from the
// buffered text, and from the first that is not, the C library.
void readTriples(LineReader& text, FILE* vtk, size_t limit, NormalsScan& scan) {
  Coord3 n;
  while (scan.normals.size() < limit && readPlainTriple(text, &n)) scan.normals.push_back(n);
  if (scan.normals.size() == limit) return;
  if (!text.handBack()) {
    scan.end = NormalsScan::End::kCannotSeek;
    return;
  }
  readTriplesWithLibrary(vtk, limit, scan);
}

bool startsWith(const LineView& piece, const char* word) {
  size_t length = strlen(word);
  return piece.size() >= length && memcmp(piece.begin, word, length) == 0;
}

void noteDataSection(const LineView& piece, NormalsScan::DataSection* section) {
  using Section = NormalsScan::DataSection;
  Section::Kind kind = startsWith(piece, "POINT_DATA")  ? Section::kPoints
                       : startsWith(piece, "CELL_DATA") ? Section::kCells
                                                        : Section::kNone;
  if (kind == Section::kNone) return;
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
int findMarker(LineReader& text, NormalsScan::DataSection* section) {
  LineView piece;
  if (!text.next(&piece)) {
    report("Failed to read first line of .vtk file\n");
    return kEmptyFile;
  }
  // The format line, ASCII or BINARY, is a legacy file's third line.
  constexpr int kFormatLine = 3;
  int line = 1;
  bool startsLine = true;
  while (!piece.contains("NORMALS")) {
    if (line <= kFormatLine && startsLine && isBinaryFormatLine(piece)) {
      report("Binary .vtk files are not read: save the normals file as ASCII\n");
      return kBinaryFile;
    }
    noteDataSection(piece, section);
    startsLine = piece.size() > 0 && piece.end[-1] == '\n';
    line += startsLine;
    if (line > kFormatLine) text.skipLinesWithoutAny({"NORMALS", "_DATA"});
    if (!text.next(&piece)) {
      report("Reached end of .vtk file before finding 'NORMALS'\n");
      return kNoMarker;
    }
  }
  return 0;
}

// Normals of cells, or of another number of points, would be read as if
// they belonged to the cortical vertices.
int checkDataSection(const NormalsScan::DataSection& section, int count) {
  if (section.kind == NormalsScan::DataSection::kCells) {
    report(
        "NORMALS in .vtk file are cell data (CELL_DATA %lld), not one per cortical vertex (%d)\n",
        section.count, count);
    return kNotPerCorticalVertex;
  }
  if (section.kind == NormalsScan::DataSection::kPoints && section.count >= 0 &&
      section.count != count) {
    report(
        "NORMALS in .vtk file are given for %lld points (POINT_DATA), not for the %d cortical "
        "vertices\n",
        section.count, count);
    return kNotPerCorticalVertex;
  }
  return 0;
}

// What the stop of the triples means for normal k, the first missing one.
int reportMissingNormal(NormalsScan::End end, int k, int count) {
  switch (end) {
    case NormalsScan::End::kEndOfFile:
      report("Reached end of .vtk file before finding all normals: %d/%d\n", k, count);
      return kEndBeforeAllNormals;
    case NormalsScan::End::kBadValue:
      report("Couldn't read value of normal #%d in .vtk file\n", k);
      return kBadNormal;
    case NormalsScan::End::kCannotSeek:
      report("Failed to seek in .vtk file\n");
      return kCannotSeek;
    case NormalsScan::End::kOutOfMemory:
      break;
  }
  report("Not enough memory for %d normals of .vtk file\n", count);
  return kOutOfMemory;
}

// A normal that is not finite has no direction: refused, as such a coordinate is.
int checkFinite(const std::vector<Coord3>& normals) {
  for (size_t k = 0; k < normals.size(); ++k) {
    const Coord3& n = normals[k];
    if (!isFinite(n)) {
      report("Value not finite in normal #%zu of .vtk file: %g %g %g\n", k + 1, n.x, n.y, n.z);
      return kNotFinite;
    }
  }
  return 0;
}

}  // namespace

int scanNormals(FILE* vtk, NormalsScan& scan) {
  if (!vtk) {
    report("Failed to open .norm file\n");
    return scan.status = kNoStream;
  }
  LineReader text(vtk, kMarkerPieceMax);
  if ((scan.status = findMarker(text, &scan.section)) != 0) return scan.status;
  // Normals of a known number of points are read up to that number, with room made for
  // them; a file that does not say how many grows its array as it goes.
  size_t limit = scan.section.kind == NormalsScan::DataSection::kPoints && scan.section.count >= 0
                     ? static_cast<size_t>(scan.section.count)
                     : SIZE_MAX;
  try {
    // A triple takes at least six characters ("0 0 0 ").
    long long left = text.bytesLeft();
    size_t room = limit == SIZE_MAX ? 0 : std::min<size_t>(limit, left >= 0 ? left / 6 + 1 : 0);
    scan.normals.reserve(room);
    adviseHugePages(scan.normals.data(), sizeof(Coord3) * room);
    readTriples(text, vtk, limit, scan);
  } catch (const std::bad_alloc&) {
    scan.end = NormalsScan::End::kOutOfMemory;
  }
  return 0;
}

int takeNormals(NormalsScan& scan, int count, std::vector<Coord3>& normals) {
  if (scan.status != 0) return scan.status;
  if (int status = checkDataSection(scan.section, count)) return status;
  if (count < 0 || scan.normals.size() < static_cast<size_t>(count)) {
    return reportMissingNormal(scan.end, static_cast<int>(scan.normals.size()) + 1, count);
  }
  scan.normals.resize(count);
  if (int status = checkFinite(scan.normals)) return status;
  normals = std::move(scan.normals);
  return 0;
}

int parseNormals(FILE* vtk, int count, std::vector<Coord3>& normals) {
  NormalsScan scan;
  scanNormals(vtk, scan);
  return takeNormals(scan, count, normals);
}

}  // namespace verdask
