#include "input/number_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "input/line_reader.h"
#include "test_util.h"

namespace verdask {

namespace {

LineView viewOf(const std::string& text) { return {text.data(), text.data() + text.size()}; }

// Hostile number forms, each of which the C library reads in its own way.
const std::vector<std::string> kNumberForms = {
    "0",
    "-0",
    "+.5",
    "1e",
    "1e+",
    "1e-400",
    "1e400",
    "0x1p3",
    "nan",
    "inf",
    "-inf",
    "infinity",
    "1.e5",
    ".e5",
    ".",
    "-",
    "+-1",
    "1.5e5e",
    "4.9e-324",
    "2.4703282292062328e-324",
    "1.7976931348623157e308",
    "1.7976931348623159e308",
    "123456789012345678901234567890",
    "0.1000000000000000055511151231257827",
    "9007199254740993",
    "1e-310",
    "00012.5000",
    "-12.75e-2",
    "3.14159",
    "1.3",
    "7,",
    "2x",
    "1__",
    "",
};

// A line with a number form in each of its numeric fields, between plain ones.
std::vector<std::string> surroundedForms(const char* prefix, char separator) {
  std::vector<std::string> lines;
  for (const std::string& form : kNumberForms) {
    for (int field = 0; field < 3; ++field) {
      std::string line = prefix;
      for (int i = 0; i < 3; ++i) {
        if (i) line += separator;
        line += i == field ? form : "2.5";
      }
      lines.push_back(line + "\n");
    }
  }
  return lines;
}

void expectSameAsLibrary(const std::string& line, int fast, const double got[3],
                         const char* format) {
  double want[3] = {-7, -7, -7};
  int library = sscanf(line.c_str(), format, &want[0], &want[1], &want[2]);
  ASSERT_EQ(fast, library) << line;
  for (int i = 0; i < library; ++i) {
    EXPECT_EQ(memcmp(&got[i], &want[i], sizeof(double)), 0) << line << " field " << i;
  }
}

TEST(NumberScan, SurfVertexMatchesLibraryOnHostileForms) {
  for (const std::string& line : surroundedForms("", ' ')) {
    double got[3] = {-7, -7, -7};
    expectSameAsLibrary(line, scanSurfVertex(viewOf(line), got), got, kSurfVertexFormat);
  }
}

TEST(NumberScan, NodeMatchesLibraryOnHostileForms) {
  std::vector<std::string> lines = surroundedForms("*node(12,", ',');
  for (const char* numbered : {"*node(99999999999999999999,1,2,3)\n", "*node(4294967297,1,2,3)\n",
                               "*node(-0012,1,2,3)\n", "*node(x,1,2,3)\n"}) {
    lines.push_back(numbered);
  }
  for (const std::string& line : lines) {
    long long number = -7, wantNumber = -7;
    double got[3] = {-7, -7, -7}, want[3] = {-7, -7, -7};
    int fast = scanNode(viewOf(line), &number, got);
    int library = sscanf(line.c_str(), kNodeFormat, &wantNumber, &want[0], &want[1], &want[2]);
    ASSERT_EQ(fast, library) << line;
    if (library >= 1) {
      EXPECT_EQ(number, wantNumber) << line;
    }
    for (int i = 0; i + 1 < library; ++i) {
      EXPECT_EQ(memcmp(&got[i], &want[i], sizeof(double)), 0) << line << " field " << i;
    }
  }
}

TEST(NumberScan, TriangleMatchesLibrary) {
  const std::vector<std::string> lines = {
      "*tri3(1,1,5,9,7)\n",
      "*tri3(1,1, 5, 9,  7)\n",
      "*tri3(1,1 ,5,9,7)\n",
      " *tri3(1,1,5,9,7)\n",
      "*tri3(1,1,5,9)\n",
      "*tri3(1,1,-5,+9,0)\n",
      "*tri3(1,1,3000000000,2,99999999999999999999)\n",
      "*tri3(1,1,-2147483649,2,3)\n",
      "*tri3(1,1,5;9;7)\n",
      "*tri3(1,1,5,9,x)\n",
      "*tri3(",
      "tri3(1,1,5,9,7)\n",
      "*tri3(1,1,5,9,7\n",
      "*tri3(1,1,5,9,\n7)\n",
      "*tri3(1,1,0x10,2,3)\n",
  };
  for (const std::string& line : lines) {
    int got[3] = {-7, -7, -7}, want[3] = {-7, -7, -7};
    int fast = scanTriangle(viewOf(line), got);
    int library = sscanf(line.c_str(), kTriangleFormat, &want[0], &want[1], &want[2]);
    ASSERT_EQ(fast, library) << line;
    for (int i = 0; i < library; ++i) EXPECT_EQ(got[i], want[i]) << line;
  }
}

TEST(NumberScan, MatchesLibraryOnRandomDecimals) {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-320, 308), digits(1, 25);
  char text[128];
  for (int i = 0; i < 20000; ++i) {
    snprintf(text, sizeof text, "%.*e %.*f %.*g\n", digits(random),
             mantissa(random) * pow(10.0, exponent(random) % 20), digits(random) % 12,
             mantissa(random) * 1000, digits(random),
             mantissa(random) * pow(10.0, exponent(random)));
    double got[3];
    expectSameAsLibrary(text, scanSurfVertex(viewOf(text), got), got, kSurfVertexFormat);
  }
}

}  // namespace

}  // namespace verdask
