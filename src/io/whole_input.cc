#include "io/whole_input.h"

#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <vector>

namespace verdask {

FILE* readWholeInput(int fd, std::string* error) {
  int own = dup(fd);
  gzFile in = own >= 0 ? gzdopen(own, "rb") : nullptr;
  FILE* copy = in ? tmpfile() : nullptr;
  if (!copy) {
    *error = "it cannot be read";
    if (in) gzclose(in);
    if (own >= 0 && !in) close(own);
    return nullptr;
  }
  std::vector<char> block(size_t{1} << 20);
  int read;
  bool written = true;
  while ((read = gzread(in, block.data(), static_cast<unsigned>(block.size()))) > 0) {
    written = fwrite(block.data(), 1, read, copy) == static_cast<size_t>(read) && written;
  }
  int status;
  const char* message = gzerror(in, &status);
  if (read < 0 || status != Z_OK) {
    // zlib names the stream as "<fd:N>: ", which says nothing to the user.
    const char* reason = strstr(message, ">: ");
    *error = std::string("its compressed data is broken (") + (reason ? reason + 3 : message) + ")";
  } else if (!written || fflush(copy) != 0) {
    *error = "there is no room for a copy of it";
  }
  gzclose(in);
  if (!error->empty() || fseek(copy, 0, SEEK_SET) != 0) {
    if (error->empty()) *error = "its copy cannot be read";
    fclose(copy);
    return nullptr;
  }
  return copy;
}

}  // namespace verdask
