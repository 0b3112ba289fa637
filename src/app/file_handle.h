// Owns one open C stream.
#pragma once

#include <cstdio>

namespace verdask {

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { reset(nullptr); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  /// Closes the stream held, if any, and takes `stream`.
  void reset(FILE* stream) {
    if (stream_) fclose(stream_);
    stream_ = stream;
  }
  FILE* get() const { return stream_; }

 private:
  FILE* stream_ = nullptr;
};

}  // namespace verdask
