#include "base/text_writer.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

namespace verdask {

namespace {

// Right-aligns `text` in a field of `width` as printf does; nothing is cut.
char* padLeft(char* out, const char* text, size_t length, int width) {
  for (int pad = width - static_cast<int>(length); pad > 0; --pad) *out++ = ' ';
  memcpy(out, text, length);
  return out + length;
}

}  // namespace

size_t formatScientific3(double value, char* out) {
  if (!std::isfinite(value)) return snprintf(out, kNumberCapacity, "%0.3e", value);
  char* end =
      std::to_chars(out, out + kNumberCapacity, value, std::chars_format::scientific, 3).ptr;
  // The C library writes at least two exponent digits; widen to three.
  char* sign = static_cast<char*>(memchr(out, 'e', end - out)) + 1;
  size_t digits = end - (sign + 1);
  if (digits < 3) {
    memmove(sign + 1 + (3 - digits), sign + 1, digits);
    memset(sign + 1, '0', 3 - digits);
    end += 3 - digits;
  }
  return end - out;
}

size_t formatFixed(double value, int precision, char* out) {
  assert(precision <= 17);
  if (!std::isfinite(value)) return snprintf(out, kNumberCapacity, "%.*f", precision, value);
  return std::to_chars(out, out + kNumberCapacity, value, std::chars_format::fixed, precision).ptr -
         out;
}

namespace {

// A stream's writer drains at this size; an in-memory one starts at it.
constexpr size_t kBufferSize = size_t{1} << 16;

}  // namespace

TextWriter::TextWriter(FILE* stream)
    : stream_(stream), capacity_(kBufferSize), buffer_(new char[capacity_]) {}

TextWriter::TextWriter() : TextWriter(nullptr) {}

void TextWriter::drain() {
  if (length_ && fwrite(buffer_.get(), 1, length_, stream_) != length_) failed_ = true;
  length_ = 0;
}

void TextWriter::makeRoom(size_t n) {
  if (stream_) {
    drain();
    if (n <= capacity_) return;
  }
  size_t capacity = std::max(capacity_ * 2, length_ + n);
  std::unique_ptr<char[]> larger(new char[capacity]);
  memcpy(larger.get(), buffer_.get(), length_);
  buffer_ = std::move(larger);
  capacity_ = capacity;
}

void TextWriter::put(const char* text, size_t length) {
  reserve(length);
  memcpy(buffer_.get() + length_, text, length);
  length_ += length;
}

void TextWriter::put(const char* text) { put(text, strlen(text)); }

void TextWriter::putInt(long long value, int width) {
  char digits[24];
  char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  assert(width < 64);
  reserve(64);
  length_ = padLeft(buffer_.get() + length_, digits, end - digits, width) - buffer_.get();
}

void TextWriter::putFixed(double value, int precision, int width) {
  char digits[kNumberCapacity];
  size_t length = formatFixed(value, precision, digits);
  reserve(length + 64);
  length_ = padLeft(buffer_.get() + length_, digits, length, width) - buffer_.get();
}

void TextWriter::putShortest(double value) {
  reserve(32);
  length_ =
      std::to_chars(buffer_.get() + length_, buffer_.get() + capacity_, value).ptr - buffer_.get();
}

void TextWriter::putShortest(float value) {
  reserve(32);
  length_ =
      std::to_chars(buffer_.get() + length_, buffer_.get() + capacity_, value).ptr - buffer_.get();
}

void TextWriter::putScientific3(double value) {
  reserve(32);
  length_ += formatScientific3(value, buffer_.get() + length_);
}

bool TextWriter::finish() {
  assert(stream_);
  drain();
  if (fflush(stream_) != 0 || ferror(stream_)) failed_ = true;
  return !failed_;
}

}  // namespace verdask
