// The readers' messages. They go to standard output, unless the calling
// thread captures them, so that readers running side by side can have their
// messages printed afterwards in the run's order.
#pragma once

#include <string>

namespace verdask {

/// printf to standard output, or to the calling thread's capture.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// The text the calling thread's messages go to (null: standard output), to
/// hand to the threads it starts, so their messages go there too.
std::string* currentCapture();

/// While it lives, report() on this thread appends to `text` instead; the
/// threads that share one text append to it one message at a time.
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
