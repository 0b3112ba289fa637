#include "base/output_files.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace verdask {

// A list node, whole before it is published, so that a signal handler on any
// thread can walk the list while outputs are still being opened.
struct OutputSet::Pending {
  char* temporary;
  char* final;                    // as named
  char* target;                   // where it goes: a link's target, so that the link stays
  volatile sig_atomic_t waiting;  // not yet committed or removed
  Pending* next;
};

namespace {

// The set whose files the signal and exit handlers remove.
std::atomic<OutputSet::Pending*> liveOutputs{nullptr};
std::atomic<bool> setAlive{false};

extern "C" void removeOnSignal(int signal) {
  for (OutputSet::Pending* p = liveOutputs.load(); p; p = p->next) {
    if (p->waiting) unlink(p->temporary);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

extern "C" void removeAtExit() {
  for (OutputSet::Pending* p = liveOutputs.load(); p; p = p->next) {
    if (p->waiting) unlink(p->temporary);
    p->waiting = 0;
  }
}

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t cleanupSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kCleanupSignals) sigaddset(&set, signal);
  return set;
}

// Holds the cleanup signals back while it lives: a file made but not yet
// listed would be left behind by a signal in between.
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

// The handlers are the process's: installed with the first set.
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

// Renames a pending output into place; false when it could not be.
bool moveIntoPlace(OutputSet::Pending* p) {
  p->waiting = 0;
  if (rename(p->temporary, p->target) == 0) return true;
  unlink(p->temporary);
  return false;
}

}  // namespace

OutputSet::OutputSet() {
  bool wasAlive = setAlive.exchange(true);
  assert(!wasAlive && "one output set at a time");
  (void)wasAlive;
  installCleanup();
}

OutputSet::~OutputSet() {
  discard();
  SignalsHeld held;
  liveOutputs.store(nullptr);
  while (first_) {
    Pending* next = first_->next;
    free(first_->temporary);
    free(first_->final);
    free(first_->target);
    delete first_;
    first_ = next;
  }
  setAlive.store(false);
}

FILE* OutputSet::open(const char* name) {
  struct stat info;
  bool exists = stat(name, &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) return nullptr;
  if (exists && !S_ISREG(info.st_mode)) return fopen(name, "wb");
  if (exists && access(name, W_OK) != 0) return nullptr;
  struct stat link;
  char* target = exists && lstat(name, &link) == 0 && S_ISLNK(link.st_mode)
                     ? realpath(name, nullptr)
                     : strdup(name);
  if (!target) return nullptr;
  SignalsHeld held;
  char* temporary = nullptr;
  FILE* stream = openBeside(target, exists ? &info : nullptr, &temporary);
  if (!stream) {
    free(target);
    return nullptr;
  }
  first_ = new Pending{temporary, strdup(name), target, 1, first_};
  liveOutputs.store(first_);
  return stream;
}

std::string OutputSet::pendingPath(const std::string& name) const {
  for (const Pending* p = first_; p; p = p->next) {
    if (p->waiting && name == p->final) return p->temporary;
  }
  return name;
}

std::vector<OutputSet::Pending*> OutputSet::oldestFirst() const {
  std::vector<Pending*> order;
  for (Pending* p = first_; p; p = p->next) order.push_back(p);
  std::reverse(order.begin(), order.end());
  return order;
}

bool OutputSet::commitAll(const char* last) {
  sigset_t held = cleanupSignals();
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
  bool renamed = true;
  for (Pending* p : oldestFirst()) {
    if (p->waiting && strcmp(p->final, last) != 0) renamed = moveIntoPlace(p) && renamed;
  }
  return commit(last) && renamed;
}

// In the order opened, so that of an output named twice the later stream stands.
bool OutputSet::commit(const char* name) {
  bool renamed = true;
  for (Pending* p : oldestFirst()) {
    if (p->waiting && strcmp(p->final, name) == 0) renamed = moveIntoPlace(p) && renamed;
  }
  return renamed;
}

void OutputSet::discard() {
  for (Pending* p = first_; p; p = p->next) {
    if (!p->waiting) continue;
    unlink(p->temporary);
    p->waiting = 0;
  }
}

}  // namespace verdask
