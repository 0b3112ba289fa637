// Inputs that cannot be read in place: compressed files and pipes. Readers seek
// (the mesh is read twice) and measure what is left of a file, so such an input
// is read whole into a temporary file first.
#pragma once

#include <cstdio>
#include <string>

namespace verdask {

/// Reads everything from `fd` (inflating gzip data, passing other bytes as they
/// are) into a temporary file, rewound; null, with `error` set, when the data
/// cannot be read. Does not close `fd`.
FILE* readWholeInput(int fd, std::string* error);

}  // namespace verdask
