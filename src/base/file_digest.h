// The SHA-256 of a file, for the run record.
#pragma once

#include <string>

namespace verdask {

/// The file's SHA-256 in lower-case hex and its size in bytes; an empty
/// digest when it is not a regular file or cannot be read.
std::string sha256OfFile(const std::string& path, long long* bytes);

}  // namespace verdask
