#include "base/report.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace verdask {

namespace {

thread_local std::string* capture = nullptr;
std::mutex appending;  // helper threads may share their caller's capture

}  // namespace

void report(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (!capture) {
    vprintf(format, args);
  } else {
    char line[512];
    va_list again;
    va_copy(again, args);
    int length = vsnprintf(line, sizeof line, format, args);
    std::lock_guard<std::mutex> lock(appending);
    if (length >= static_cast<int>(sizeof line)) {
      std::string longer(length + 1, '\0');
      vsnprintf(longer.data(), longer.size(), format, again);
      capture->append(longer.data(), length);
    } else if (length > 0) {
      capture->append(line, length);
    }
    va_end(again);
  }
  va_end(args);
}

std::string* currentCapture() { return capture; }

ReportCapture::ReportCapture(std::string* text) : previous_(capture) { capture = text; }

ReportCapture::~ReportCapture() { capture = previous_; }

}  // namespace verdask
