// Owns one open C stream, and remembers the name it was opened under.
#pragma once

#include <cstdio>
#include <string>

namespace verdask {

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { reset(nullptr); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  /// Closes the stream held, if any, and takes `stream`, opened as `name`.
  void reset(FILE* stream, const char* name = "") {
    if (stream_) fclose(stream_);
    stream_ = stream;
    name_ = name;
  }
  FILE* get() const { return stream_; }
  /// Gives up the stream without closing it; the name stays.
  FILE* release() {
    FILE* stream = stream_;
    stream_ = nullptr;
    return stream;
  }
  const std::string& name() const { return name_; }

 private:
  FILE* stream_ = nullptr;
  std::string name_;
};

}  // namespace verdask
