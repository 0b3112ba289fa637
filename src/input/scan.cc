#include "input/scan.h"

#include <fast_float/fast_float.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <mutex>
#include <vector>

namespace verdask {

Status readFailure(const char* format, ...) {
  va_list arguments, again;
  va_start(arguments, format);
  va_copy(again, arguments);
  int length = vsnprintf(nullptr, 0, format, arguments);
  va_end(arguments);
  Status status{kReadFailed, std::string(std::max(length, 0) + 1, '\0')};
  vsnprintf(status.message.data(), status.message.size(), format, again);
  va_end(again);
  status.message.back() = '\n';
  return status;
}

namespace {

// The files mapped now, for releaseRead to know which bytes come back from a file.
struct Mapped {
  std::mutex lock;
  std::vector<std::pair<const char*, const char*>> ranges;
};

Mapped& mapped() {
  static Mapped files;
  return files;
}

}  // namespace

FileBytes::~FileBytes() {
  if (!map_) return;
  Mapped& files = mapped();
  {
    std::lock_guard<std::mutex> hold(files.lock);
    auto& ranges = files.ranges;
    ranges.erase(std::find(
        ranges.begin(), ranges.end(),
        std::pair{static_cast<const char*>(map_), static_cast<const char*>(map_) + mapped_}));
  }
  munmap(map_, mapped_);
}

void releaseRead(const char* begin, const char* end) {
  static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t from = (reinterpret_cast<uintptr_t>(begin) + page - 1) / page * page;
  uintptr_t to = reinterpret_cast<uintptr_t>(end) / page * page;
  if (from >= to) return;
  Mapped& files = mapped();
  std::lock_guard<std::mutex> hold(files.lock);
  for (const auto& [first, last] : files.ranges) {
    if (first <= begin && end <= last) {
      // Only a file's pages: an anonymous page given back would read again as zeros.
      madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
      return;
    }
  }
}

bool FileBytes::load(FILE* file) {
  struct stat info;
  off_t at = ftello(file);
  if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && at >= 0 && info.st_size > at) {
    void* map = mmap(nullptr, info.st_size, PROT_READ, MAP_PRIVATE, fileno(file), 0);
    if (map != MAP_FAILED) {
      map_ = map;
      mapped_ = info.st_size;
      madvise(map_, mapped_, MADV_SEQUENTIAL);
      Mapped& files = mapped();
      std::lock_guard<std::mutex> hold(files.lock);
      files.ranges.emplace_back(static_cast<const char*>(map_),
                                static_cast<const char*>(map_) + mapped_);
      view_ = std::string_view(static_cast<const char*>(map) + at, mapped_ - at);
      return true;
    }
  }
  char block[1 << 16];
  size_t read;
  while ((read = fread(block, 1, sizeof block, file)) > 0) copy_.append(block, read);
  view_ = copy_;
  return !ferror(file);
}

// The bytes a cursor reads on before it gives back those behind it.
constexpr size_t kReleaseStep = size_t{4} << 20;

void ByteCursor::noteRead() {
  // A step's bytes stay behind the cursor, where views just taken may still look.
  if (at_ < released_ + 2 * kReleaseStep) return;
  releaseRead(data_.data() + released_, data_.data() + at_ - kReleaseStep);
  released_ = at_ - kReleaseStep;
}

bool ByteCursor::nextLine(std::string_view* line) {
  noteRead();
  if (at_ >= data_.size()) return false;
  size_t end = data_.find('\n', at_);
  if (end == std::string_view::npos) end = data_.size();
  size_t length = end - at_;
  if (length > 0 && data_[at_ + length - 1] == '\r') --length;
  *line = data_.substr(at_, length);
  at_ = std::min(end + 1, data_.size());
  lastLine_ = line_;
  if (end < data_.size()) ++line_;
  return true;
}

bool ByteCursor::nextWord(std::string_view* word) {
  noteRead();
  while (at_ < data_.size() && isspace(static_cast<unsigned char>(data_[at_]))) {
    line_ += data_[at_] == '\n';
    ++at_;
  }
  if (at_ >= data_.size()) return false;
  size_t start = at_;
  while (at_ < data_.size() && !isspace(static_cast<unsigned char>(data_[at_]))) ++at_;
  *word = data_.substr(start, at_ - start);
  return true;
}

bool ByteCursor::take(size_t bytes, const char** start) {
  noteRead();
  if (bytes > left()) return false;
  *start = data_.data() + at_;
  at_ += bytes;
  return true;
}

bool nextWord(std::string_view& rest, std::string_view* word) {
  size_t start = 0;
  while (start < rest.size() && isspace(static_cast<unsigned char>(rest[start]))) ++start;
  size_t end = start;
  while (end < rest.size() && !isspace(static_cast<unsigned char>(rest[end]))) ++end;
  *word = rest.substr(start, end - start);
  rest.remove_prefix(end);
  return !word->empty();
}

bool parseDouble(std::string_view text, double* value) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty() || text[0] == '+') return false;
  auto result = fast_float::from_chars(text.data(), text.data() + text.size(), *value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool parseInteger(std::string_view text, long long* value) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty() || text[0] == '+') return false;
  long long number = 0;
  size_t k = text[0] == '-';
  if (k == text.size()) return false;
  for (; k < text.size(); ++k) {
    if (!isdigit(static_cast<unsigned char>(text[k])) || number > (INT64_MAX - 9) / 10) {
      return false;
    }
    number = number * 10 + (text[k] - '0');
  }
  *value = text[0] == '-' ? -number : number;
  return true;
}

bool nextDouble(std::string_view& rest, double* value) {
  std::string_view word;
  return nextWord(rest, &word) && parseDouble(word, value);
}

bool nextInteger(std::string_view& rest, long long* value) {
  std::string_view word;
  return nextWord(rest, &word) && parseInteger(word, value);
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::string upperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return upper;
}

NumberType numberTypeNamed(std::string_view name) {
  static const struct {
    const char* names[4];
    NumberType type;
  } kTypes[] = {
      {{"char", "int8", "Int8", "signed_char"}, NumberType::kInt8},
      {{"uchar", "uint8", "UInt8", "unsigned_char"}, NumberType::kUInt8},
      {{"short", "int16", "Int16", nullptr}, NumberType::kInt16},
      {{"ushort", "uint16", "UInt16", "unsigned_short"}, NumberType::kUInt16},
      {{"int", "int32", "Int32", nullptr}, NumberType::kInt32},
      {{"uint", "uint32", "UInt32", "unsigned_int"}, NumberType::kUInt32},
      {{"long", "int64", "Int64", "vtktypeint64"}, NumberType::kInt64},
      {{"unsigned_long", "uint64", "UInt64", "vtktypeuint64"}, NumberType::kUInt64},
      {{"float", "float32", "Float32", nullptr}, NumberType::kFloat32},
      {{"double", "float64", "Float64", nullptr}, NumberType::kFloat64},
  };
  for (const auto& entry : kTypes) {
    for (const char* known : entry.names) {
      if (known && name == known) return entry.type;
    }
  }
  return NumberType::kUnknown;
}

size_t sizeOf(NumberType type) {
  static const size_t kSizes[] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 0};
  return kSizes[static_cast<int>(type)];
}

bool parseNumber(std::string_view text, NumberType type, double* value) {
  if (type == NumberType::kFloat32 || type == NumberType::kFloat64 ||
      type == NumberType::kUnknown) {
    return parseDouble(text, value);
  }
  long long whole;
  if (!parseInteger(text, &whole)) return false;
  *value = static_cast<double>(whole);
  return true;
}

double loadNumber(const char* p, NumberType type, bool bigEndian) {
  switch (type) {
    case NumberType::kInt8:
      return loadValue<int8_t>(p, bigEndian);
    case NumberType::kUInt8:
      return loadValue<uint8_t>(p, bigEndian);
    case NumberType::kInt16:
      return loadValue<int16_t>(p, bigEndian);
    case NumberType::kUInt16:
      return loadValue<uint16_t>(p, bigEndian);
    case NumberType::kInt32:
      return loadValue<int32_t>(p, bigEndian);
    case NumberType::kUInt32:
      return loadValue<uint32_t>(p, bigEndian);
    case NumberType::kInt64:
      return static_cast<double>(loadValue<int64_t>(p, bigEndian));
    case NumberType::kUInt64:
      return static_cast<double>(loadValue<uint64_t>(p, bigEndian));
    case NumberType::kFloat32:
      return loadValue<float>(p, bigEndian);
    case NumberType::kFloat64:
      return loadValue<double>(p, bigEndian);
    case NumberType::kUnknown:
      break;
  }
  return 0;
}

}  // namespace verdask
