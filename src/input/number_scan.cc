#include "input/number_scan.h"

#include <fast_float/fast_float.h>

#include <cassert>
#include <cmath>
#include <cstdio>

namespace verdask {

const char kTriangleFormat[] = "%*c%*c%*c%*c%*c%*c%*d%*c%*d%*c%d%*c%d%*c%d";
const char kQuadFormat[] = "%*c%*c%*c%*c%*c%*c%*c%*d%*c%*d%*c%d%*c%d%*c%d%*c%d";
const char kNodeFormat[] = "%*c%*c%*c%*c%*c%*c%lld%*c%lg%*c%lg%*c%lg";
const char kSurfVertexFormat[] = "%lg %lg %lg";
const char kSurfTriangleFormat[] = "%lld %lld %lld";

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlnum(char c) { return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

// A cursor over one line that follows the conversions of a scan format; any
// step it cannot take with certainty makes the whole scan fall back to sscanf.
struct FastScan {
  const char* p;
  const char* end;
  bool sure = true;

  void skipChar() {  // %*c: any one character, white space included
    if (p < end)
      ++p;
    else
      sure = false;
  }
  void skipSpace() {
    while (p < end && isScanSpace(*p)) ++p;
  }
  template <typename Integer>
  void readInt(Integer* value) {  // %d or %lld (and %*d with a dummy)
    skipSpace();
    const char* q = p;
    bool negative = q < end && *q == '-';
    if (q < end && (*q == '-' || *q == '+')) ++q;
    const char* digits = q;
    long long v = 0;
    while (q < end && isDigit(*q) && q - digits < 10) v = v * 10 + (*q++ - '0');
    // Longer numbers wrap or saturate as the C library converts them.
    if (q == digits || q - digits > 9) {
      sure = false;
      return;
    }
    *value = static_cast<Integer>(negative ? -v : v);
    p = q;
  }
  void readDouble(double* value) {  // %lg
    skipSpace();
    const char* q = sure ? parsePlainDouble(p, end, value) : nullptr;
    if (q)
      p = q;
    else
      sure = false;
  }
};

// The C library's verdict on a line the fast path was not sure of.
template <typename... Targets>
int scanWithLibrary(LineView line, const char* format, Targets*... targets) {
  assert(line.size() <= kLinePieceMax);
  char buffer[kLinePieceMax + 1];
  line.copyTo(buffer);
  return sscanf(buffer, format, targets...);
}

}  // namespace

const char* parsePlainDouble(const char* p, const char* end, double* value) {
  // The library's own forms (inf, nan, hexadecimal, a sign before a sign) go to it.
  const char* first = p < end && *p == '+' ? p + 1 : p;
  const char* digits = first < end && *first == '-' && first == p ? first + 1 : first;
  if (digits >= end || !(isDigit(*digits) || *digits == '.')) return nullptr;
  auto result = fast_float::from_chars(first, end, *value);
  const char* q = result.ptr;
  // A number followed by what could continue it ("1e", "0x1p3", "1.5.") is the library's too.
  if (result.ec != std::errc() || (q < end && (isAlnum(*q) || *q == '.')) ||
      !std::isfinite(*value)) {
    return nullptr;
  }
  return q;
}

namespace {

// Skips the keyword's characters and two integers, then reads `count` corners,
// each after one character; false when only the library's scan can be sure.
bool scanCornersFast(LineView line, int keywordChars, int count, int corners[]) {
  FastScan scan{line.begin, line.end};
  int skipped;
  for (int i = 0; i < keywordChars; ++i) scan.skipChar();
  scan.readInt(&skipped);
  scan.skipChar();
  scan.readInt(&skipped);
  for (int i = 0; i < count; ++i) {
    scan.skipChar();
    scan.readInt(&corners[i]);
  }
  return scan.sure;
}

}  // namespace

int scanTriangle(LineView line, int corners[3]) {
  if (scanCornersFast(line, 6, 3, corners)) return 3;
  return scanWithLibrary(line, kTriangleFormat, &corners[0], &corners[1], &corners[2]);
}

int scanQuad(LineView line, int corners[4]) {
  if (scanCornersFast(line, 7, 4, corners)) return 4;
  return scanWithLibrary(line, kQuadFormat, &corners[0], &corners[1], &corners[2], &corners[3]);
}

int scanElement(LineView line, int corners[4], bool* quad) {
  *quad = !line.contains("tri3") && line.contains("quad4");
  if (*quad) return scanQuad(line, corners) == 4 ? 4 : 0;
  return scanTriangle(line, corners) == 3 ? 3 : 0;
}

int scanNode(LineView line, long long* number, double xyz[3]) {
  FastScan scan{line.begin, line.end};
  for (int i = 0; i < 6; ++i) scan.skipChar();
  scan.readInt(number);
  for (int i = 0; i < 3; ++i) {
    scan.skipChar();
    scan.readDouble(&xyz[i]);
  }
  if (scan.sure) return 4;
  return scanWithLibrary(line, kNodeFormat, number, &xyz[0], &xyz[1], &xyz[2]);
}

int scanSurfVertex(LineView line, double xyz[3]) {
  FastScan scan{line.begin, line.end};
  for (int i = 0; i < 3; ++i) scan.readDouble(&xyz[i]);
  if (scan.sure) return 3;
  return scanWithLibrary(line, kSurfVertexFormat, &xyz[0], &xyz[1], &xyz[2]);
}

int scanSurfTriangle(LineView line, long long corners[3]) {
  FastScan scan{line.begin, line.end};
  for (int i = 0; i < 3; ++i) scan.readInt(&corners[i]);
  if (scan.sure) return 3;
  return scanWithLibrary(line, kSurfTriangleFormat, &corners[0], &corners[1], &corners[2]);
}

}  // namespace verdask
