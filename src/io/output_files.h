// Outputs that replace their earlier versions only when the run succeeds: each
// is written under a temporary name beside its final one and renamed into
// place at the end, so a failed or interrupted run leaves the last good files.
#pragma once

#include <cstdio>
#include <string>

namespace verdask {

/// Opens `name` for writing ("wb"). A regular file, or one still to be made,
/// is written under a temporary name in its folder until commitOutputs();
/// anything else (a device, a pipe) is written directly. Null when `name`
/// cannot be written.
FILE* openOutputFile(const char* name);

/// Moves every pending output but those named `except` into place, in the
/// order opened. The streams must be closed, or at least flushed, first.
/// False when a rename failed.
bool commitOutputs(const char* except = nullptr);

/// Moves the pending outputs named `name` into place.
bool commitOutput(const char* name);

/// Removes the temporary files of every output not committed; also done at
/// process exit and on SIGINT, SIGTERM and SIGHUP.
void discardOutputs();

}  // namespace verdask
