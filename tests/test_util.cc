#include "test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace verdask {

MemoryFile::MemoryFile(std::string text) : text_(std::move(text)) {
  // fmemopen refuses a zero-length buffer; an empty file is a buffer read as empty.
  stream_ = text_.empty() ? fopen("/dev/null", "r") : fmemopen(text_.data(), text_.size(), "r");
}

MemoryFile::~MemoryFile() { fclose(stream_); }

std::string MemoryFile::rest() {
  std::string out;
  int c;
  while ((c = fgetc(stream_)) != EOF) out.push_back(static_cast<char>(c));
  return out;
}

ScratchDir::ScratchDir() {
  char pattern[] = "/tmp/verdask-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() { std::filesystem::remove_all(path_); }

void ScratchDir::write(const std::string& name, const std::string& content) const {
  writeFile(file(name), content);
}

std::string ScratchDir::read(const std::string& name) const { return readFile(file(name)); }

bool ScratchDir::exists(const std::string& name) const {
  return std::filesystem::exists(file(name));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& dir, const std::vector<std::string>& wrapper) {
  std::string outPath = dir + "/.stdout", errPath = dir + "/.stderr";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0 || !freopen(outPath.c_str(), "wb", stdout) ||
        !freopen(errPath.c_str(), "wb", stderr)) {
      _exit(127);
    }
    std::vector<char*> argv;
    for (const std::string& arg : wrapper) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                   readFile(outPath), readFile(errPath)};
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

RunResult runTool(const std::vector<std::string>& args, const std::string& dir) {
  // VERDASK_TEST_WRAPPER runs the tool under another program, such as valgrind.
  std::vector<std::string> wrapper;
  std::istringstream words(getenv("VERDASK_TEST_WRAPPER") ? getenv("VERDASK_TEST_WRAPPER") : "");
  for (std::string word; words >> word;) wrapper.push_back(word);
  return runProgram(VERDASK_BINARY, args, dir, wrapper);
}

}  // namespace verdask
