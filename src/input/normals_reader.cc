#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/parallel.h"
#include "base/platform.h"
#include "input/line_reader.h"
#include "input/number_scan.h"
#include "input/readers.h"
#include "input/scan.h"

namespace verdask {

namespace {

// The marker search reads through a 40-byte buffer: pieces of 39 characters.
constexpr size_t kMarkerPieceMax = 39;
// The POINTS line is read through a buffer of this many characters and the terminator.
constexpr size_t kPointsPieceMax = 255;

// Reads one triple of plain decimals from the text; false, with nothing
// consumed, whenever the C library has to decide.
bool readPlainTriple(LineReader& text, Coord3* normal) {
  std::string_view rest = text.rest();
  const char* start = rest.data();
  const char* end = start + rest.size();
  const char* p = start;
  double* xyz[3] = {&normal->x, &normal->y, &normal->z};
  for (double* value : xyz) {
    while (p < end && isScanSpace(*p)) ++p;
    p = parsePlainDouble(p, end, value);
    if (!p) return false;
  }
  text.consume(p - start);
  return true;
}

// Reads triples with the C library from `rest`, as a stream, until one does
// not convert or `limit` are read.
void readTriplesWithLibrary(std::string_view rest, size_t limit, NormalsScan& scan) {
  if (rest.empty()) {
    scan.end = NormalsScan::End::kEndOfFile;
    return;
  }
  // Read only: the stream never writes to the bytes.
  FILE* stream = fmemopen(const_cast<char*>(rest.data()), rest.size(), "r");
  if (!stream) {
    scan.end = NormalsScan::End::kOutOfMemory;
    return;
  }
  while (scan.normals.size() < limit) {
    Coord3 n;
    int converted = fscanf(stream, "%lf %lf %lf", &n.x, &n.y, &n.z);
    if (converted != 3) {
      scan.end = converted == EOF ? NormalsScan::End::kEndOfFile : NormalsScan::End::kBadValue;
      break;
    }
    scan.normals.push_back(n);
  }
  fclose(stream);
}

// Every triple after the marker, up to `limit`: plain decimals on the fast
// path, and from the first that is not, the C library.
void readTriples(LineReader& text, size_t limit, NormalsScan& scan) {
  Coord3 n;
  while (scan.normals.size() < limit && readPlainTriple(text, &n)) scan.normals.push_back(n);
  if (scan.normals.size() < limit) readTriplesWithLibrary(text.rest(), limit, scan);
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
// section it stands in.
Status findMarker(LineReader& text, NormalsScan::DataSection* section) {
  LineView piece;
  if (!text.next(&piece)) return readFailure("Failed to read first line of .vtk file");
  // The format line, ASCII or BINARY, is a legacy file's third line.
  constexpr int kFormatLine = 3;
  int line = 1;
  bool startsLine = true;
  while (!piece.contains("NORMALS")) {
    if (line <= kFormatLine && startsLine && isBinaryFormatLine(piece)) {
      return readFailure("Binary .vtk files are not read: save the normals file as ASCII");
    }
    noteDataSection(piece, section);
    startsLine = piece.size() > 0 && piece.end[-1] == '\n';
    line += startsLine;
    if (line > kFormatLine) text.skipLinesWithoutAny({"NORMALS", "_DATA"});
    if (!text.next(&piece)) {
      return readFailure("Reached end of .vtk file before finding 'NORMALS'");
    }
  }
  return {};
}

// Normals of cells, or of another number of points, would be read as if
// they belonged to the cortical vertices.
Status checkDataSection(const NormalsScan::DataSection& section, int count) {
  if (section.kind == NormalsScan::DataSection::kCells) {
    return readFailure(
        "NORMALS in .vtk file are cell data (CELL_DATA %lld), not one per cortical vertex (%d)",
        section.count, count);
  }
  if (section.kind == NormalsScan::DataSection::kPoints && section.count >= 0 &&
      section.count != count) {
    return readFailure(
        "NORMALS in .vtk file are given for %lld points (POINT_DATA), not for the %d cortical "
        "vertices",
        section.count, count);
  }
  return {};
}

// What the stop of the triples means for normal k, the first missing one.
Status missingNormal(NormalsScan::End end, int k, int count) {
  switch (end) {
    case NormalsScan::End::kEndOfFile:
      return readFailure("Reached end of .vtk file before finding all normals: %d/%d", k, count);
    case NormalsScan::End::kBadValue:
      return readFailure("Couldn't read value of normal #%d in .vtk file", k);
    case NormalsScan::End::kOutOfMemory:
      break;
  }
  return readFailure("Not enough memory for %d normals of .vtk file", count);
}

// A normal that is not finite has no direction: refused, as such a coordinate is.
Status checkFinite(const std::vector<Coord3>& normals) {
  for (size_t k = 0; k < normals.size(); ++k) {
    const Coord3& n = normals[k];
    if (!isFinite(n)) {
      return readFailure("Value not finite in normal #%zu of .vtk file: %g %g %g", k + 1, n.x, n.y,
                         n.z);
    }
  }
  return {};
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

// Reads the POINTS of the file, with the digits printed.
void readFilePoints(std::string_view data, NormalsScan::FilePoints& points) {
  LineReader text(data, kPointsPieceMax);
  if (!findPointsLine(text, points)) return;
  // A point takes at least six characters ("0 0 0 ").
  size_t room = std::min<unsigned long long>(points.count, text.bytesLeft() / 6 + 1);
  points.points.reserve(room);
  points.lastDigits.reserve(3 * room);
  std::string_view rest = text.rest();
  const char *p = rest.data(), *end = p + rest.size(), *told = p;
  // The bytes read are told every so many points.
  constexpr long long kPointsTold = 1 << 14;
  for (long long k = 0; k < points.count; ++k) {
    if (k % kPointsTold == 0) {
      text.consume(p - told);
      told = p;
    }
    double xyz[3];
    for (double& value : xyz) {
      while (p < end && isScanSpace(*p)) ++p;
      const char* after = p < end ? parsePlainDouble(p, end, &value) : nullptr;
      if (!after) break;  // no plain decimal: the points end here
      points.lastDigits.push_back(lastDigitPower(p, after));
      p = after;
    }
    if (points.lastDigits.size() < 3 * (points.points.size() + 1)) break;
    points.points.push_back({xyz[0], xyz[1], xyz[2]});
  }
  points.lastDigits.resize(3 * points.points.size());
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

namespace {

// The triples after the marker's piece, where `text` stands.
void readNormals(LineReader& text, NormalsScan& scan) {
  // Normals of a known number of points are read up to that number, with room made for
  // them; a file that does not say how many grows its array as it goes.
  size_t limit = scan.section.kind == NormalsScan::DataSection::kPoints && scan.section.count >= 0
                     ? static_cast<size_t>(scan.section.count)
                     : SIZE_MAX;
  try {
    // A triple takes at least six characters ("0 0 0 ").
    size_t room = limit == SIZE_MAX ? 0 : std::min(limit, text.bytesLeft() / 6 + 1);
    scan.normals.reserve(room);
    adviseHugePages(scan.normals.data(), sizeof(Coord3) * room);
    readTriples(text, limit, scan);
  } catch (const std::bad_alloc&) {
    scan.end = NormalsScan::End::kOutOfMemory;
  }
}

}  // namespace

Status scanNormals(std::string_view data, NormalsScan& scan, int threads) {
  LineReader text(data, kMarkerPieceMax);
  if (Status status = findMarker(text, &scan.section)) return status;
  // The points as printed take as long to read as the normals: read beside them.
  runTasks(std::min(threads, 2), {[&] { readNormals(text, scan); },
                                  [&] {
                                    try {
                                      readFilePoints(data, scan.filePoints);
                                    } catch (const std::bad_alloc&) {
                                      scan.filePoints = {};  // too many to hold: nothing to compare
                                    }
                                  }});
  return {};
}

Status takeNormals(NormalsScan& scan, int count, std::vector<Coord3>& normals) {
  if (Status status = checkDataSection(scan.section, count)) return status;
  if (count < 0 || scan.normals.size() < static_cast<size_t>(count)) {
    return missingNormal(scan.end, static_cast<int>(scan.normals.size()) + 1, count);
  }
  scan.normals.resize(count);
  if (Status status = checkFinite(scan.normals)) return status;
  normals = std::move(scan.normals);
  return {};
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

Status parseNormals(std::string_view data, int count, std::vector<Coord3>& normals) {
  NormalsScan scan;
  if (Status status = scanNormals(data, scan)) return status;
  return takeNormals(scan, count, normals);
}

}  // namespace verdask
