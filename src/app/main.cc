#include <cstdio>

#include "app/run.h"

int main(int argc, char** argv) {
  if (verdask::printInformation(argc, argv)) return 0;
  printf("\n");
  verdask::InputFiles inputs;
  verdask::RunOptions options;
  if (int code = verdask::readCommandLine(argc, argv, inputs, options)) return code;
  return verdask::runVerdask(inputs, options);
}
