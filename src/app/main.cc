#include <cstdio>

#include "app/run.h"

int main(int argc, char** argv) {
  printf("\n");
  InputFiles inputs;
  RunOptions options;
  readCommandLine(argc, argv, inputs, options);
  return runVerdask(inputs, options);
}
