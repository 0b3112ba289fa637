#include "input/line_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cassert>

#include "base/progress.h"

namespace verdask {

namespace {

// Reads go in blocks of up to 1 MiB; a small file gets a buffer of its size.
constexpr size_t kBlockSize = size_t{1} << 20;
constexpr size_t kSmallestBlock = size_t{1} << 13;

}  // namespace

void LineView::copyTo(char* buffer) const {
  memcpy(buffer, begin, size());
  buffer[size()] = '\0';
}

LineReader::LineReader(FILE* stream, size_t pieceMax) : stream_(stream), pieceMax_(pieceMax) {
  base_ = ftello(stream);
  seekable_ = base_ >= 0;
  long long left = bytesLeft();
  capacity_ = left >= 0 && static_cast<unsigned long long>(left) < kBlockSize
                  ? std::max(kSmallestBlock, static_cast<size_t>(left) + 1)
                  : kBlockSize;
  buffer_.reset(new char[capacity_]);
}

size_t LineReader::fill(size_t n) {
  assert(n <= capacity_);
  if (end_ - pos_ >= n || eof_) return end_ - pos_;
  memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
  base_ += pos_;
  end_ -= pos_;
  pos_ = 0;
  while (end_ < n && !eof_) {
    size_t got = fread(buffer_.get() + end_, 1, capacity_ - end_, stream_);
    advanceProgress(static_cast<long long>(got));
    end_ += got;
    if (got == 0) eof_ = true;
  }
  return end_;
}

bool LineReader::next(LineView* piece) {
  size_t available = fill(pieceMax_ + 1);
  if (available == 0) return false;
  char* start = cursor();
  size_t window = std::min(available, pieceMax_ + 1);
  size_t length = std::min(available, pieceMax_);
  size_t consumed = length;
  if (char* lf = static_cast<char*>(memchr(start, '\n', window))) {
    size_t rawLength = lf - start + 1;
    bool crlf = rawLength >= 2 && lf[-1] == '\r';
    if (rawLength - crlf <= pieceMax_) {
      if (crlf) lf[-1] = '\n';
      length = rawLength - crlf;
      consumed = rawLength;
    }
  }
  piece->begin = start;
  const char* nul = static_cast<const char*>(memchr(start, '\0', length));
  piece->end = nul ? nul : start + length;
  consume(consumed);
  return true;
}

void LineReader::skipLinesWithoutAny(std::initializer_list<const char*> keywords) {
  // Pieces restart after every LF, so from a piece boundary a line without
  // a keyword anywhere yields no piece with it.
  while (size_t available = fill(capacity_ / 2)) {
    char* start = cursor();
    const char* hit = nullptr;
    for (const char* keyword : keywords) {
      auto found = static_cast<const char*>(memmem(start, available, keyword, strlen(keyword)));
      if (found && (!hit || found < hit)) hit = found;
    }
    if (hit) {
      const char* lf = static_cast<const char*>(memrchr(start, '\n', hit - start));
      if (lf) consume(lf + 1 - start);
      return;
    }
    if (eof_) {
      consume(available);
      return;
    }
    const char* lf = static_cast<const char*>(memrchr(start, '\n', available));
    if (!lf) return;  // a line longer than the window goes piece by piece
    consume(lf + 1 - start);
  }
}

long long LineReader::bytesLeft() const {
  struct stat info;
  int fd = fileno(stream_);
  if (!seekable_ || fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return info.st_size - (base_ + static_cast<long long>(pos_));
}

bool LineReader::rewind() {
  clearerr(stream_);
  if (!seekable_ || fseeko(stream_, 0, SEEK_SET) != 0) return false;
  base_ = 0;
  pos_ = end_ = 0;
  eof_ = false;
  return true;
}

bool LineReader::handBack() {
  clearerr(stream_);
  return seekable_ && fseeko(stream_, base_ + static_cast<long long>(pos_), SEEK_SET) == 0;
}

bool skipToKeyword(LineReader& lines, LineView* line, const char* keyword) {
  return skipToAnyKeyword(lines, line, {keyword});
}

bool skipToAnyKeyword(LineReader& lines, LineView* line,
                      std::initializer_list<const char*> keywords) {
  auto found = [&] {
    for (const char* keyword : keywords) {
      if (line->contains(keyword)) return true;
    }
    return false;
  };
  while (!found()) {
    lines.skipLinesWithoutAny(keywords);
    if (!lines.next(line)) return false;
  }
  return true;
}

}  // namespace verdask
