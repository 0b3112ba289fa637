// Outputs that replace their earlier versions only when the run succeeds: each
// is written under a temporary name beside its final one and renamed into
// place at the end, so a failed or interrupted run leaves the last good files.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace verdask {

/// The outputs of one run. Its temporary files are removed when it ends, at
/// process exit, and on SIGINT, SIGTERM and SIGHUP, whose handlers it
/// installs when made; one set lives at a time.
class OutputSet {
 public:
  OutputSet();
  ~OutputSet();
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  /// Opens `name` for writing ("wb"). A regular file, or one still to be
  /// made, is written under a temporary name in its folder until commit();
  /// anything else (a device, a pipe) is written directly. Null when `name`
  /// cannot be written.
  FILE* open(const char* name);

  /// Where `name` is being written: its temporary file, or `name` itself when
  /// it is written directly.
  std::string pendingPath(const std::string& name) const;

  /// Moves every pending output into place, those named `last` after the
  /// rest. The cleanup signals are held from the first rename on and stay
  /// held, so that the run is put in place whole and ends as a success. The
  /// streams must be closed, or at least flushed, first. False when a rename failed.
  bool commitAll(const char* last);

  /// Moves the pending outputs named `name` into place.
  bool commit(const char* name);

  /// Removes the temporary files of every output not committed.
  void discard();

  struct Pending;

 private:
  std::vector<Pending*> oldestFirst() const;

  Pending* first_ = nullptr;  // newest first; a signal handler walks it
};

}  // namespace verdask
