// Helpers shared by the tests: in-memory streams, scratch directories and
// running the built tool.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace verdask {

/// A read-only C stream over a copy of `text`.
class MemoryFile {
 public:
  explicit MemoryFile(std::string text);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  FILE* get() const { return stream_; }
  /// Reads what is left of the stream from its current position.
  std::string rest();

 private:
  std::string text_;
  FILE* stream_;
};

/// A fresh directory, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;

 private:
  std::string path_;
};

struct RunResult {
  int exitCode;  // as a shell sees it: -1 is 255; a signal is 128 + its number
  std::string out;
  std::string err;
};

/// Runs `program` with `args` in `dir`, capturing stdout and stderr; a
/// wrapper command line, if given, runs the program.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& dir, const std::vector<std::string>& wrapper = {});
RunResult runTool(const std::vector<std::string>& args, const std::string& dir);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

}  // namespace verdask
