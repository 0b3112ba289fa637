#include "base/output_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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
  OutputSet outputs;
  for (const char* name : {"out.k", "run.json"}) {
    std::string path = dir.file(name);
    FILE* file = outputs.open(path.c_str());
    fputs("new\n", file);
    fclose(file);
  }
  if (!signalAfterCommit) raise(SIGTERM);
  bool committed = outputs.commitAll(dir.file("run.json").c_str());
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

// An output replaced keeps its file's mode; of a name opened twice, the later
// stream stands; there is no limit to how many a run writes.
TEST(OutputFiles, CommitKeepsModesAndTheLaterStream) {
  ScratchDir dir;
  dir.write("kept.k", "old\n");
  chmod(dir.file("kept.k").c_str(), 0640);
  {
    OutputSet outputs;
    for (const char* text : {"first\n", "second\n"}) {
      FILE* file = outputs.open(dir.file("kept.k").c_str());
      ASSERT_NE(file, nullptr);
      fputs(text, file);
      fclose(file);
    }
    for (int k = 0; k < 100; ++k) {
      FILE* file = outputs.open(dir.file("out" + std::to_string(k)).c_str());
      ASSERT_NE(file, nullptr);
      fclose(file);
    }
    EXPECT_EQ(dir.read("kept.k"), "old\n");
    EXPECT_TRUE(outputs.commitAll(dir.file("out0").c_str()));
  }
  EXPECT_EQ(dir.read("kept.k"), "second\n");
  struct stat info;
  ASSERT_EQ(stat(dir.file("kept.k").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_TRUE(dir.exists("out99"));
  EXPECT_EQ(runProgram("/bin/sh", {"-c", "ls -A | grep -c verdask-"}, dir.path()).out, "0\n");
}

}  // namespace

}  // namespace verdask
