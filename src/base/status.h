// What a step that can fail came to: a code, 0 when it succeeded, and the
// lines that say why it failed, for its stage to print before its own line.
#pragma once

#include <string>

namespace verdask {

struct Status {
  int code = 0;
  std::string message;  // each line ends in a newline

  /// True when the step failed, as with std::error_code.
  explicit operator bool() const { return code != 0; }
};

}  // namespace verdask
