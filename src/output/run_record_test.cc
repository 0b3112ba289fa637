#include "output/run_record.h"

#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace verdask {

namespace {

std::string recordText(const RunFacts& facts) {
  FILE* file = tmpfile();
  EXPECT_EQ(writeRunRecord(file, facts), 0);
  rewind(file);
  std::string text;
  for (int c; (c = fgetc(file)) != EOF;) text += static_cast<char>(c);
  fclose(file);
  return text;
}

// Bytes that are not UTF-8 (a reader quoting a file, a path) are escaped,
// characters that are stay as they are.
TEST(RunRecord, BytesThatAreNotUtf8AreEscaped) {
  const std::pair<std::string, std::string> cases[] = {
      {"section \xbf", "section \\\\xBF"},
      {"x\xff.k", "x\\\\xFF.k"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\xa6\xb4", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\xa6\xb4"},
      {"\xc0\xaf overlong, \xed\xa0\x80 surrogate, \xe2\x82 cut",
       "\\\\xC0\\\\xAF overlong, \\\\xED\\\\xA0\\\\x80 surrogate, \\\\xE2\\\\x82 cut"},
  };
  for (const auto& [bytes, escaped] : cases) {
    RunFacts facts;
    facts.failure = bytes;
    facts.commandLine = {"verdask", bytes};
    facts.inputs.push_back({"mesh", bytes, 0, ""});
    std::string text = recordText(facts);
    EXPECT_NE(text.find("\"failure\": \"" + escaped + "\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"path\": \"" + escaped + "\""), std::string::npos);
  }
}

TEST(RunRecord, FailedRunCarriesTheLastCompleteRun) {
  const std::pair<std::string, std::string> cases[] = {
      {R"({"tool": "verdask", "exit_code": 0, "a": 1})",
       R"({"tool":"verdask","exit_code":0,"a":1})"},
      {R"({"tool": "verdask", "exit_code": 254, "last_complete_run": {"exit_code": 0}})",
       R"({"exit_code":0})"},
      {R"({"tool": "verdask", "exit_code": 254})", ""},
      {R"({"tool": "other", "exit_code": 0})", ""},
      {"not a record \xff", ""},
  };
  for (const auto& [earlier, carried] : cases) {
    EXPECT_EQ(lastCompleteRunOf(earlier), carried) << earlier;
  }
}

}  // namespace

}  // namespace verdask
