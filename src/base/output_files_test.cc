#include "base/output_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "test_util.h"

namespace verdask {

namespace {

// In a child process: writes two outputs beside their earlier versions, then
// SIGTERM comes before, or just after, they are committed. Returns the
// child's wait status.
int runChild(const ScratchDir& dir, bool signalAfterCommit) {
  pid_t child = fork();
  if (child != 0) {
    int status;
    waitpid(child, &status, 0);
    return status;
  }
  for (const char* name : {"out.k", "run.json"}) {
    std::string path = dir.file(name);
    FILE* file = openOutputFile(path.c_str());
    fputs("new\n", file);
    fclose(file);
  }
  if (!signalAfterCommit) raise(SIGTERM);
  bool committed = commitOutputs(dir.file("run.json").c_str());
  raise(SIGTERM);
  _exit(committed ? 0 : 1);
}

// A run is put in place whole, record included, or not at all; a signal
// that comes once the renames have begun no longer stops it.
TEST(OutputFiles, SignalsLeaveTheRunWholeOrUntouched) {
  for (bool afterCommit : {false, true}) {
    SCOPED_TRACE(afterCommit ? "after the commit" : "before the commit");
    ScratchDir dir;
    dir.write("out.k", "old\n");
    dir.write("run.json", "old\n");
    int status = runChild(dir, afterCommit);
    if (afterCommit) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    }
    const char* expected = afterCommit ? "new\n" : "old\n";
    EXPECT_EQ(dir.read("out.k"), expected);
    EXPECT_EQ(dir.read("run.json"), expected);
    EXPECT_EQ(runProgram("/bin/sh", {"-c", "ls -A | grep -c verdask-"}, dir.path()).out, "0\n");
  }
}

}  // namespace

}  // namespace verdask
