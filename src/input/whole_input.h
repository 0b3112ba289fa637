// Inputs that cannot be read in place: compressed files and pipes. Readers map
// a file whole, so such an input is read whole into a temporary file first.
#pragma once

#include <cstdio>
#include <string>

namespace verdask {

/// An input read whole may hold this many MiB (once inflated) unless -input-limit says otherwise.
constexpr int kDefaultInputLimitMiB = 8192;

/// What an input read whole is held to.
struct WholeInputRules {
  int limitMiB = kDefaultInputLimitMiB;  // the most it may hold
  bool text = true;                      // a text format: a NUL byte in the first block is refused
};

/// Reads everything from `fd` (inflating gzip data, passing other bytes as they
/// are) into a temporary file, rewound; null, with `error` set, when the data
/// cannot be read, is empty, passes the limit, or begins with nothing but zero
/// bytes (or, for a text format, holds a NUL byte in its first block).
/// Does not close `fd`.
FILE* readWholeInput(int fd, const WholeInputRules& rules, std::string* error);

/// Opens an input: a regular file in place, a pipe, device or compressed file
/// read whole under `rules`; null, after reporting "Failure opening file ...",
/// when it cannot be.
FILE* openInput(const char* name, const WholeInputRules& rules);

}  // namespace verdask
