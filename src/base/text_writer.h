// Buffered text output with the number formats of the logs and the keyword
// file, written without printf on the per-row path.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

#include "base/status.h"

namespace verdask {

class TextWriter {
 public:
  /// Writes to `stream` through a buffer.
  explicit TextWriter(FILE* stream);
  /// Keeps all the text in memory (data(), size()), for a caller to write out later.
  TextWriter();
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter() {
    if (stream_) finish();
  }

  void put(const char* text, size_t length);
  void put(const char* text);
  void put(char c) {
    if (length_ == capacity_) makeRoom(1);
    buffer_[length_++] = c;
  }
  /// As "%*d" with the given width (0: no padding).
  void putInt(long long value, int width = 0);
  /// As "%W.Pf".
  void putFixed(double value, int precision, int width);
  /// The shortest text that reads back as the same value.
  void putShortest(double value);
  void putShortest(float value);
  /// As "%0.3e", but with a three-digit exponent (2.000e+001).
  void putScientific3(double value);
  /// Writes out what is buffered and flushes the stream; false when any
  /// write to the stream has failed.
  bool finish();
  /// finish() as a writer's status: code -1, without a message, when a write failed.
  Status finished() { return finish() ? Status{} : Status{-1, ""}; }

  /// The text of an in-memory writer.
  const char* data() const { return buffer_.get(); }
  size_t size() const { return length_; }

 private:
  void drain();
  void makeRoom(size_t n);
  void reserve(size_t n) {
    if (capacity_ - length_ < n) makeRoom(n);
  }

  FILE* stream_;
  size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  size_t length_ = 0;
  bool failed_ = false;
};

/// Room for any number the formats below write.
constexpr size_t kNumberCapacity = 400;
/// "%0.3e" with a three-digit exponent into `out`; returns the length.
size_t formatScientific3(double value, char* out);
/// "%.Pf" into `out`; returns the length.
size_t formatFixed(double value, int precision, char* out);

}  // namespace verdask
