#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/platform.h"
#include "base/report.h"
#include "input/line_reader.h"
#include "input/number_scan.h"
#include "input/readers.h"

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
// The POINTS line is read through a buffer of this many characters and the terminator.
constexpr size_t kPointsPieceMax = 255;

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

// The power of ten of the last digit of a plain decimal as printed: -3 for
// "1.250", 2 for "3e2".
int16_t lastDigitPower(const char* begin, const char* end) {
  const char* exponent = std::find_if(begin, end, [](char c) { return c == 'e' || c == 'E'; });
  const char* dot = std::find(begin, exponent, '.');
  long power = dot == exponent ? 0 : -(exponent - dot - 1);
  if (exponent != end) {
    bool negative = exponent[1] == '-';
    long written = 0;
    for (const char* d = exponent + 1 + (negative || exponent[1] == '+'); d < end; ++d) {
      written = std::min(written * 10 + (*d - '0'), 100000L);
    }
    power += negative ? -written : written;
  }
  return static_cast<int16_t>(std::clamp(power, -30000L, 30000L));
}

// The next value as printed; false at the end of the file or at anything but a plain decimal.
bool readPrintedValue(LineReader& text, double* value, int16_t* power) {
  while (text.fill(1) > 0 && isScanSpace(*text.cursor())) text.consume(1);
  size_t available = text.fill(kTripleWindow);
  const char* start = text.cursor();
  const char* end = start + available;
  const char* after = available > 0 ? parsePlainDouble(start, end, value) : nullptr;
  // A number running to the end of a full window may go on beyond it.
  if (!after || (after == end && available >= kTripleWindow)) return false;
  *power = lastDigitPower(start, after);
  text.consume(after - start);
  return true;
}

// Finds a "POINTS n type" line before the marker and passes over the rest of
// it; false when there is none.
bool findPointsLine(LineReader& text, NormalsScan::FilePoints& points) {
  LineView piece;
  if (!text.next(&piece)) return false;
  while (skipToAnyKeyword(text, &piece, {"POINTS", "NORMALS"}) && !piece.contains("NORMALS")) {
    char buffer[kPointsPieceMax + 1], type[16];
    piece.copyTo(buffer);
    long long count;
    if (startsWith(piece, "POINTS") && sscanf(buffer, "POINTS %lld %15s", &count, type) == 2 &&
        count >= 0) {
      points.count = count;
      points.single = strcmp(type, "float") == 0;
      while (piece.size() == 0 || piece.end[-1] != '\n') {
        if (!text.next(&piece)) break;
      }
      return true;
    }
    if (!text.next(&piece)) return false;
  }
  return false;
}

// Reads the POINTS of the file from `start`, its beginning, with the digits printed.
void readFilePoints(FILE* vtk, long long start, NormalsScan::FilePoints& points) {
  clearerr(vtk);
  if (fseeko(vtk, start, SEEK_SET) != 0) return;
  LineReader text(vtk, kPointsPieceMax);
  if (!findPointsLine(text, points)) return;
  // A point takes at least six characters ("0 0 0 ").
  long long left = text.bytesLeft();
  size_t room = std::min<unsigned long long>(points.count, left >= 0 ? left / 6 + 1 : 0);
  points.points.reserve(room);
  points.lastDigits.reserve(3 * room);
  for (long long p = 0; p < points.count; ++p) {
    double xyz[3];
    int16_t powers[3];
    for (int k = 0; k < 3; ++k) {
      if (!readPrintedValue(text, &xyz[k], &powers[k])) return;
    }
    points.points.push_back({xyz[0], xyz[1], xyz[2]});
    points.lastDigits.insert(points.lastDigits.end(), powers, powers + 3);
  }
}

// A value in its shortest form, which reads back as the same double.
std::string shortest(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string position(const Coord3& p) {
  return "(" + shortest(p.x) + ", " + shortest(p.y) + ", " + shortest(p.z) + ")";
}

// The power of ten of the last digit the cortical file may have printed of a
// value: that of its shortest form, but of no more than its sixth significant
// digit (the C library's default precision), so that a round value is not
// taken as printed coarsely.
double corticalPower(double cortical) {
  if (cortical == 0) return -HUGE_VAL;
  std::string form = shortest(cortical);
  return std::min<double>(lastDigitPower(form.data(), form.data() + form.size()),
                          std::floor(std::log10(std::fabs(cortical))) - 5);
}

// Whether a printed coordinate and the cortical one can be the same value.
bool sameCoordinate(double printed, int16_t power, bool single, double cortical) {
  if (printed == cortical) return true;
  double apart = std::fabs(printed - cortical);
  double within = 0.5 * std::pow(10.0, power) + std::fabs(printed) * (single ? 0x1p-24 : 0x1p-52);
  // A cortical file of floats (binary STL, PLY, VTK) holds each coordinate rounded to one.
  if (static_cast<double>(static_cast<float>(cortical)) == cortical) {
    within += std::fabs(cortical) * 0x1p-24;
  }
  return apart <= within || apart <= within + 0.5 * std::pow(10.0, corticalPower(cortical));
}

}  // namespace

int scanNormals(FILE* vtk, NormalsScan& scan) {
  if (!vtk) {
    report("Failed to open .norm file\n");
    return scan.status = kNoStream;
  }
  long long start = ftello(vtk);
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
  try {
    if (scan.end != NormalsScan::End::kOutOfMemory) readFilePoints(vtk, start, scan.filePoints);
  } catch (const std::bad_alloc&) {
    scan.filePoints = {};  // too many to hold: nothing to compare
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

std::string compareNormalsPoints(const NormalsScan& scan, const PointSet& cortical) {
  const NormalsScan::FilePoints& file = scan.filePoints;
  if (file.count < 0) return "";
  if (file.count != cortical.count()) {
    return "the normals file has " + std::to_string(file.count) +
           " POINTS but the cortical surface has " + std::to_string(cortical.count()) +
           " vertices: the normals belong to another surface";
  }
  for (int k = 0; k < cortical.count(); ++k) {
    std::string number = std::to_string(k + 1);
    if (static_cast<size_t>(k) >= file.points.size()) {
      return "the normals file's point " + number +
             " is not three plain numbers: its POINTS cannot be compared with the cortical "
             "vertices";
    }
    const Coord3& printed = file.points[k];
    const Coord3& vertex = cortical.point(k);
    const int16_t* power = &file.lastDigits[3 * k];
    if (!sameCoordinate(printed.x, power[0], file.single, vertex.x) ||
        !sameCoordinate(printed.y, power[1], file.single, vertex.y) ||
        !sameCoordinate(printed.z, power[2], file.single, vertex.z)) {
      return "the normals file's point " + number + " is " + position(printed) +
             " but cortical vertex " + number + " is " + position(vertex) +
             ": the normals belong to another vertex order or another surface";
    }
  }
  return "";
}

int parseNormals(FILE* vtk, int count, std::vector<Coord3>& normals) {
  NormalsScan scan;
  scanNormals(vtk, scan);
  return takeNormals(scan, count, normals);
}

}  // namespace verdask
