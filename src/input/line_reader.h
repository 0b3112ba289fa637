// Piecewise line reading with the semantics of fgets over a fixed buffer,
// through one large block buffer instead of a library call per line.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>

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
  /// Reads `stream` from its current position in pieces of at most pieceMax
  /// characters, as fgets with a buffer of pieceMax + 1 bytes does; a CR just
  /// before an LF is dropped, so CR LF files read like their LF twins.
  LineReader(FILE* stream, size_t pieceMax);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  /// The next piece; false at the end of the file.
  bool next(LineView* piece);
  /// Passes over whole lines that cannot hold a piece containing keyword, up
  /// to the first line that contains it anywhere (or the end of the file).
  void skipLinesWithout(const char* keyword) { skipLinesWithoutAny({keyword}); }
  /// The same for lines that contain none of the keywords.
  void skipLinesWithoutAny(std::initializer_list<const char*> keywords);
  /// Starts again from the beginning of the file; false when the stream cannot seek.
  bool rewind();
  /// Puts the stream just after the last piece or text consumed, so plain C
  /// stream reads go on from there; false when the stream cannot seek.
  bool handBack();

  /// Bytes of the file after what has been read, or -1 when the stream cannot tell.
  long long bytesLeft() const;

  // Raw access for readers that scan across line ends (the normals).
  /// Makes at least n unread bytes available unless the file ends first; returns how many are.
  size_t fill(size_t n);
  char* cursor() const { return buffer_.get() + pos_; }
  void consume(size_t n) { pos_ += n; }
  bool atEnd() const { return eof_ && pos_ == end_; }

 private:
  FILE* stream_;
  size_t pieceMax_;
  size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  long long base_;  // stream offset of buffer_[0]
  bool seekable_;
  bool eof_ = false;
};

/// Reads on from *line, the current piece, until a piece contains keyword;
/// false when the file ends first.
bool skipToKeyword(LineReader& lines, LineView* line, const char* keyword);

/// The same for a piece that contains any of the keywords.
bool skipToAnyKeyword(LineReader& lines, LineView* line,
                      std::initializer_list<const char*> keywords);

}  // namespace verdask
