#include "base/output_files.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace verdask {

namespace {

// Plain arrays, so that a signal handler can walk them safely; a run opens a
// handful of outputs, and any beyond the slots are written directly.
constexpr int kSlots = 64;
struct Pending {
  char* temporary;
  char* final;                    // as named
  char* target;                   // where it goes: a link's target, so that the link stays
  volatile sig_atomic_t waiting;  // not yet committed or removed
};
Pending slots[kSlots];
volatile sig_atomic_t used = 0;

extern "C" void removeOnSignal(int signal) {
  for (int i = 0; i < used; ++i) {
    if (slots[i].waiting) unlink(slots[i].temporary);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void removeAtExit() { discardOutputs(); }

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Holds the cleanup signals back while it lives: a file made but not yet
// listed would be left behind by a signal in between.
sigset_t cleanupSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kCleanupSignals) sigaddset(&set, signal);
  return set;
}

class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held = cleanupSignals();
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

void installCleanup() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  std::atexit(removeAtExit);
  for (int signal : kCleanupSignals) std::signal(signal, removeOnSignal);
}

// The mode a new file would get from fopen, or the existing file's own.
mode_t modeFor(const struct stat* existing) {
  if (existing) return existing->st_mode & 07777;
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// A temporary file beside `name`, open for writing; null when none can be made.
FILE* openBeside(const char* name, const struct stat* existing, char** temporary) {
  const char* slash = strrchr(name, '/');
  std::string folder = slash ? std::string(name, slash - name + 1) : "";
  std::string path = folder + "." + (slash ? slash + 1 : name) + ".verdask-XXXXXX";
  int fd = mkstemp(path.data());
  if (fd < 0) return nullptr;
  FILE* stream = fchmod(fd, modeFor(existing)) == 0 ? fdopen(fd, "wb") : nullptr;
  if (!stream) {
    close(fd);
    unlink(path.c_str());
    return nullptr;
  }
  *temporary = strdup(path.c_str());
  return stream;
}

// Renames the pending outputs for which `chosen(final name)` holds.
template <typename Choice>
bool commitChosen(Choice chosen) {
  bool renamed = true;
  for (int i = 0; i < used; ++i) {
    Pending& slot = slots[i];
    if (!slot.waiting || !chosen(slot.final)) continue;
    if (rename(slot.temporary, slot.target) != 0) {
      unlink(slot.temporary);
      renamed = false;
    }
    slot.waiting = 0;
  }
  return renamed;
}

}  // namespace

FILE* openOutputFile(const char* name) {
  struct stat info;
  bool exists = stat(name, &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) return nullptr;
  if ((exists && !S_ISREG(info.st_mode)) || used == kSlots) return fopen(name, "wb");
  if (exists && access(name, W_OK) != 0) return nullptr;
  struct stat link;
  char* target = exists && lstat(name, &link) == 0 && S_ISLNK(link.st_mode)
                     ? realpath(name, nullptr)
                     : strdup(name);
  if (!target) return nullptr;
  installCleanup();
  SignalsHeld held;
  Pending& slot = slots[used];
  FILE* stream = openBeside(target, exists ? &info : nullptr, &slot.temporary);
  if (!stream) {
    free(target);
    return nullptr;
  }
  slot.final = strdup(name);
  slot.target = target;
  slot.waiting = 1;
  used = used + 1;
  return stream;
}

std::string pendingPath(const std::string& name) {
  for (int i = used - 1; i >= 0; --i) {
    if (slots[i].waiting && name == slots[i].final) return slots[i].temporary;
  }
  return name;
}

bool commitOutputs(const char* last) {
  sigset_t held = cleanupSignals();
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
  bool first = commitChosen([last](const char* name) { return strcmp(name, last) != 0; });
  return commitOutput(last) && first;
}

bool commitOutput(const char* name) {
  return commitChosen([name](const char* final) { return strcmp(name, final) == 0; });
}

void discardOutputs() {
  for (int i = 0; i < used; ++i) {
    if (!slots[i].waiting) continue;
    unlink(slots[i].temporary);
    slots[i].waiting = 0;
  }
}

}  // namespace verdask
