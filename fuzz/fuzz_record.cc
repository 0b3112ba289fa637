// The run record with any bytes in its texts: it must always be written.
#include <cstdlib>

#include "fuzz_input.h"
#include "output/run_record.h"

using namespace verdask;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> texts = splitInput(data, size, 4);
  RunFacts facts;
  facts.failure = texts[0];
  facts.commandLine = {"verdask", texts[1]};
  facts.inputs.push_back({"mesh", texts[1], 0, texts[2]});
  facts.warnings = {texts[2]};
  facts.lastCompleteRun = lastCompleteRunOf(texts[3]);
  FILE* sink = fopen("/dev/null", "wb");
  if (writeRunRecord(sink, facts) != 0) abort();
  fclose(sink);
  return 0;
}
