// The readers' messages. They go to standard output, unless the calling
// thread captures them, so that readers running side by side can have their
// messages printed afterwards in the run's order.
#pragma once

#include <string>

namespace verdask {

/// printf to standard output, or to the calling thread's capture.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// While it lives, report() on this thread appends to `text` instead.
class ReportCapture {
 public:
  explicit ReportCapture(std::string* text);
  ~ReportCapture();
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

 private:
  std::string* previous_;
};

}  // namespace verdask
