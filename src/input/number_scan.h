// The scan formats of the input files. Each scanner takes a plain decimal line
// on a fast path and hands anything it is not sure of to sscanf with the
// format itself, so results always equal the C library's.
#pragma once

#include <cstddef>

#include "input/line_reader.h"

namespace verdask {

extern const char kTriangleFormat[];
extern const char kNodeFormat[];
extern const char kSurfVertexFormat[];
extern const char kSurfTriangleFormat[];

/// Corners 1 to 3 of a triangle line; returns what sscanf with kTriangleFormat returns.
int scanTriangle(LineView line, int corners[3]);
/// A HyperMesh quadrilateral line, "*quad4(E,P,a,b,c,d": as "%*c" seven
/// times, two skipped integers, then four corners, each after one character.
int scanQuad(LineView line, int corners[4]);
/// An element line's corners: a quadrilateral's ("quad4", and no "tri3") or a
/// triangle's. Returns the corners read in full (3 or 4), else fewer.
int scanElement(LineView line, int corners[4], bool* quad);
/// The node number and x, y, z of a mesh node line; returns what sscanf with
/// kNodeFormat returns (4 for a good line).
int scanNode(LineView line, long long* number, double xyz[3]);
/// x, y, z of a surface vertex line; returns what sscanf with kSurfVertexFormat returns.
int scanSurfVertex(LineView line, double xyz[3]);

/// The three vertex numbers of a surface triangle line; returns what sscanf
/// with kSurfTriangleFormat returns.
int scanSurfTriangle(LineView line, long long corners[3]);

/// Reads the number that scanf's %lg would read at p when it is a plain
/// decimal ending before `end` at a character that cannot continue it; returns
/// the end of the number, or nullptr when the C library must decide.
const char* parsePlainDouble(const char* p, const char* end, double* value);

inline bool isScanSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace verdask
