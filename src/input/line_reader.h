// Piecewise line reading with the semantics of fgets over a fixed buffer, on
// a file's bytes held in memory.
#pragma once

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace verdask {

/// One piece of a line as a C string function would see it: it ends at the
/// line's LF (kept) or at the first NUL byte.
struct LineView {
  const char* begin;
  const char* end;

  bool contains(const char* keyword) const {
    return memmem(begin, end - begin, keyword, strlen(keyword)) != nullptr;
  }
  /// Copies the view into a NUL-terminated buffer of at least size() + 1 bytes.
  void copyTo(char* buffer) const;
  size_t size() const { return end - begin; }
};

/// The readers' line buffer is 1024 bytes: 1023 characters and the terminator.
constexpr size_t kLinePieceMax = 1023;

class LineReader {
 public:
  /// Reads `data` from its start in pieces of at most pieceMax characters, as
  /// fgets with a buffer of pieceMax + 1 bytes reads a file of those bytes; a
  /// CR just before an LF is dropped, so CR LF files read like their LF twins.
  LineReader(std::string_view data, size_t pieceMax);

  /// The next piece, valid until the next call; false at the end of the data.
  bool next(LineView* piece);
  /// Passes over whole lines that cannot hold a piece containing keyword, up
  /// to the first line that contains it anywhere (or the end of the data).
  void skipLinesWithout(const char* keyword) { skipLinesWithoutAny({keyword}); }
  /// The same for lines that contain none of the keywords.
  void skipLinesWithoutAny(std::initializer_list<const char*> keywords);
  /// Starts again from the beginning of the data.
  void rewind() { at_ = 0; }

  // Raw access for readers that scan across line ends (the normals).
  /// The bytes after what has been read.
  std::string_view rest() const { return data_.substr(at_); }
  size_t bytesLeft() const { return data_.size() - at_; }
  void consume(size_t n);

 private:
  void noteProgress();

  std::string_view data_;
  size_t pieceMax_;
  size_t at_ = 0;
  size_t counted_ = 0;      // how far the run's progress has been told
  size_t released_ = 0;     // the bytes given back, from the start
  std::vector<char> crlf_;  // a piece that ended in CR LF, with the CR dropped
};

/// Reads on from *line, the current piece, until a piece contains keyword;
/// false when the data ends first.
bool skipToKeyword(LineReader& lines, LineView* line, const char* keyword);

/// The same for a piece that contains any of the keywords.
bool skipToAnyKeyword(LineReader& lines, LineView* line,
                      std::initializer_list<const char*> keywords);

}  // namespace verdask
