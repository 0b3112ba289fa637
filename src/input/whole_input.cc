#include "input/whole_input.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/report.h"

namespace verdask {

namespace {

// Read and copied a block at a time; the first block tells at once an input
// that is no file of its format, before a stream of zeros fills the disk.
constexpr size_t kBlockBytes = size_t{1} << 20;

// Why a first block cannot begin an input; empty when it can.
std::string firstBlockTrouble(const char* data, size_t size, bool text) {
  if (size == 0) return "it is empty";
  if (data[0] == '\0' && memcmp(data, data + 1, size - 1) == 0) {
    return "it begins with nothing but zero bytes, as no input file does";
  }
  const char* nul = text ? static_cast<const char*>(memchr(data, '\0', size)) : nullptr;
  if (!nul) return "";
  return "byte " + std::to_string(nul - data + 1) +
         " is a NUL, which a file of this text format does not hold";
}

std::string brokenData(gzFile in) {
  int status;
  const char* message = gzerror(in, &status);
  // zlib names the stream as "<fd:N>: ", which says nothing to the user.
  const char* reason = strstr(message, ">: ");
  return std::string("its compressed data is broken (") + (reason ? reason + 3 : message) + ")";
}

// Copies `in` to `copy` block by block, stopping at the first trouble; the
// trouble, or empty.
std::string copyWhole(gzFile in, FILE* copy, const WholeInputRules& rules) {
  std::vector<char> block(kBlockBytes);
  const long long limit = static_cast<long long>(rules.limitMiB) << 20;
  long long total = 0;
  int read = gzread(in, block.data(), static_cast<unsigned>(block.size()));
  int status;
  gzerror(in, &status);
  if (read < 0 || (read == 0 && status != Z_OK)) return brokenData(in);
  if (std::string trouble = firstBlockTrouble(block.data(), read, rules.text); !trouble.empty()) {
    return trouble;
  }
  for (; read > 0; read = gzread(in, block.data(), static_cast<unsigned>(block.size()))) {
    if ((total += read) > limit) {
      return "it holds more than the input limit of " + std::to_string(rules.limitMiB) +
             " MiB (-input-limit raises it)";
    }
    if (fwrite(block.data(), 1, read, copy) != static_cast<size_t>(read)) {
      return "there is no room for a copy of it";
    }
  }
  gzerror(in, &status);
  if (read < 0 || status != Z_OK) return brokenData(in);
  if (fflush(copy) != 0) return "there is no room for a copy of it";
  return "";
}

}  // namespace

FILE* readWholeInput(int fd, const WholeInputRules& rules, std::string* error) {
  int own = dup(fd);
  gzFile in = own >= 0 ? gzdopen(own, "rb") : nullptr;
  FILE* copy = in ? tmpfile() : nullptr;
  if (!copy) {
    *error = "it cannot be read";
    if (in) gzclose(in);
    if (own >= 0 && !in) close(own);
    return nullptr;
  }
  *error = copyWhole(in, copy, rules);
  gzclose(in);
  if (!error->empty() || fseek(copy, 0, SEEK_SET) != 0) {
    if (error->empty()) *error = "its copy cannot be read";
    fclose(copy);
    return nullptr;
  }
  return copy;
}

FILE* openInput(const char* name, const WholeInputRules& rules) {
  // Non-blocking, so that a FIFO without a writer cannot hang the open.
  int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
    if (fd >= 0) close(fd);
    report("Failure opening file %s\n", name);
    return nullptr;
  }
  size_t length = strlen(name);
  bool compressed = length > 3 && strcasecmp(name + length - 3, ".gz") == 0;
  if (S_ISREG(info.st_mode) && !compressed) return fdopen(fd, "rt");
  std::string error;
  FILE* copy = readWholeInput(fd, rules, &error);
  close(fd);
  if (!copy) report("Failure opening file %s: %s\n", name, error.c_str());
  return copy;
}

}  // namespace verdask
