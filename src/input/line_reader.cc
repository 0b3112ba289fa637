#include "input/line_reader.h"

#include <algorithm>

#include "base/progress.h"
#include "input/scan.h"

namespace verdask {

namespace {

// Keywords are looked for this many bytes at a time: one found near costs no
// search of the whole file for the others.
constexpr size_t kSearchWindow = size_t{1} << 19;
// The run's progress is told a MiB at a time.
constexpr size_t kProgressStep = size_t{1} << 20;

// The first keyword in the `size` bytes from `start`, or nullptr. A keyword's
// first letter is rare among numbers: found by memchr, far faster than memmem.
const char* findKeyword(const char* start, size_t size, const char* keyword) {
  size_t length = strlen(keyword);
  if (length == 0) return start;
  const char* end = start + size;
  for (const char* p = start; end - p >= static_cast<ptrdiff_t>(length); ++p) {
    p = static_cast<const char*>(memchr(p, keyword[0], end - p - length + 1));
    if (!p) return nullptr;
    if (memcmp(p, keyword, length) == 0) return p;
  }
  return nullptr;
}

}  // namespace

void LineView::copyTo(char* buffer) const {
  memcpy(buffer, begin, size());
  buffer[size()] = '\0';
}

LineReader::LineReader(std::string_view data, size_t pieceMax)
    : data_(data), pieceMax_(pieceMax), crlf_(pieceMax) {}

void LineReader::consume(size_t n) {
  at_ += n;
  noteProgress();
}

void LineReader::noteProgress() {
  if (at_ < counted_ + kProgressStep) return;
  advanceProgress(static_cast<long long>(at_ - counted_));
  // The bytes up to the last step go back; those since, the pieces just read may still hold.
  releaseRead(data_.data() + released_, data_.data() + counted_);
  released_ = std::max(released_, counted_);
  counted_ = at_;
}

bool LineReader::next(LineView* piece) {
  size_t available = data_.size() - at_;
  if (available == 0) return false;
  const char* start = data_.data() + at_;
  const char* text = start;
  size_t length = std::min(available, pieceMax_);
  size_t consumed = length;
  if (auto lf = static_cast<const char*>(memchr(start, '\n', std::min(available, pieceMax_ + 1)))) {
    size_t rawLength = lf - start + 1;
    bool crlf = rawLength >= 2 && lf[-1] == '\r';
    if (rawLength - crlf <= pieceMax_) {
      length = rawLength - crlf;
      consumed = rawLength;
    }
    if (crlf && consumed == rawLength) {
      memcpy(crlf_.data(), start, length - 1);
      crlf_[length - 1] = '\n';
      text = crlf_.data();
    }
  }
  piece->begin = text;
  const char* nul = static_cast<const char*>(memchr(text, '\0', length));
  piece->end = nul ? nul : text + length;
  consume(consumed);
  return true;
}

void LineReader::skipLinesWithoutAny(std::initializer_list<const char*> keywords) {
  // Pieces restart after every LF, so from a piece boundary a line without
  // a keyword anywhere yields no piece with it.
  while (at_ < data_.size()) {
    const char* start = data_.data() + at_;
    size_t window = std::min(kSearchWindow, data_.size() - at_);
    const char* hit = nullptr;
    for (const char* keyword : keywords) {
      const char* found = findKeyword(start, window, keyword);
      if (found && (!hit || found < hit)) hit = found;
    }
    if (hit) {
      const char* lf = static_cast<const char*>(memrchr(start, '\n', hit - start));
      if (lf) consume(lf + 1 - start);
      return;
    }
    if (window == data_.size() - at_) {
      consume(window);
      return;
    }
    const char* lf = static_cast<const char*>(memrchr(start, '\n', window));
    if (!lf) return;  // a line longer than the window goes piece by piece
    consume(lf + 1 - start);
  }
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
