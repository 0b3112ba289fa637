// What every reader needs to walk a file held in memory: lines, words, numbers
// and binary values, with the line number for messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "base/status.h"

namespace verdask {

/// The code of a reader that failed.
constexpr int kReadFailed = -1;

/// A reader's failure, told in one line (printf-style, the newline added).
Status readFailure(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// The rest of a file's bytes: mapped where the file is regular, else read.
class FileBytes {
 public:
  FileBytes() = default;
  ~FileBytes();
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  /// False when the file cannot be read whole.
  bool load(FILE* file);
  std::string_view view() const { return view_; }

 private:
  void* map_ = nullptr;
  size_t mapped_ = 0;
  std::string copy_;
  std::string_view view_;
};

/// Gives the whole pages of [begin, end) back to the system where they lie in
/// a file that FileBytes mapped: read again, they come back from the file. A
/// reader's memory then holds little more than what it has yet to read.
void releaseRead(const char* begin, const char* end);

class ByteCursor {
 public:
  explicit ByteCursor(std::string_view data) : data_(data) {}

  size_t left() const { return data_.size() - at_; }
  /// The line the cursor is on, from 1.
  long long line() const { return line_; }
  /// The next line without its end (LF or CR LF); false at the end.
  bool nextLine(std::string_view* line);
  /// The number of the line nextLine gave last.
  long long lastLine() const { return lastLine_; }
  /// The next word, across line ends; false at the end.
  bool nextWord(std::string_view* word);
  /// The next `bytes` bytes as they are; false, taking nothing, when fewer are left.
  bool take(size_t bytes, const char** start);

 private:
  void noteRead();

  std::string_view data_;
  size_t at_ = 0;
  size_t released_ = 0;  // the bytes given back, from the start
  long long line_ = 1;
  long long lastLine_ = 0;
};

/// Whitespace-separated words of a line: takes the first from `rest`.
bool nextWord(std::string_view& rest, std::string_view* word);
/// The whole of `text` as a number; false when it is not one.
bool parseDouble(std::string_view text, double* value);
bool parseInteger(std::string_view text, long long* value);
/// The next word of `rest` as a number.
bool nextDouble(std::string_view& rest, double* value);
bool nextInteger(std::string_view& rest, long long* value);
/// `text` without the spaces and tabs around it.
std::string_view trimmed(std::string_view text);
std::string upperCase(std::string_view text);

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ || __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__,
              "binary inputs are read on little- or big-endian hosts");
constexpr bool kBigEndianHost = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

/// A value of type T stored at p in the given byte order, on a host of either order.
template <typename T>
T loadValue(const char* p, bool bigEndian) {
  unsigned char bytes[sizeof(T)];
  memcpy(bytes, p, sizeof(T));
  if (bigEndian != kBigEndianHost) {
    for (size_t k = 0; k < sizeof(T) / 2; ++k) std::swap(bytes[k], bytes[sizeof(T) - 1 - k]);
  }
  T value;
  memcpy(&value, bytes, sizeof(T));
  return value;
}

/// The numeric types of PLY, legacy VTK and VTK XML files.
enum class NumberType {
  kInt8,
  kUInt8,
  kInt16,
  kUInt16,
  kInt32,
  kUInt32,
  kInt64,
  kUInt64,
  kFloat32,
  kFloat64,
  kUnknown
};

/// A type by any of its names in those formats ("float", "float32", "Float32", "uchar", ...).
NumberType numberTypeNamed(std::string_view name);
size_t sizeOf(NumberType type);
/// A number read as a double, as an index or count: -1 unless it is a whole
/// number that an int can hold.
inline long long wholeNumber(double value) {
  return value >= 0 && value <= 2147483647.0 && value == static_cast<long long>(value)
             ? static_cast<long long>(value)
             : -1;
}

/// The value of that type at p, as a double.
double loadNumber(const char* p, NumberType type, bool bigEndian);

/// `text` as a value of that type: an integer type's must be written as a whole
/// number (1e-400 would read as 0); false when it is not one.
bool parseNumber(std::string_view text, NumberType type, double* value);

}  // namespace verdask
