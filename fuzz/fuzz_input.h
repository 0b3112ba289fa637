// Turns fuzz input into the streams the readers take: regular in-memory
// files, so that every reader sees what it sees on disk.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline FILE* memoryFile(const uint8_t* data, size_t size) {
  int fd = memfd_create("fuzz", 0);
  if (fd < 0) return nullptr;
  if (size && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return nullptr;
  }
  lseek(fd, 0, SEEK_SET);
  return fdopen(fd, "r");
}

/// Splits the input at each "\n====\n" into at most `parts` pieces.
inline std::vector<std::string> splitInput(const uint8_t* data, size_t size, size_t parts) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> pieces;
  size_t start = 0;
  while (pieces.size() + 1 < parts) {
    size_t mark = text.find("\n====\n", start);
    if (mark == std::string::npos) break;
    pieces.push_back(text.substr(start, mark - start + 1));
    start = mark + 6;
  }
  pieces.push_back(text.substr(start));
  pieces.resize(parts);
  return pieces;
}
