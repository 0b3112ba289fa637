#include "base/text_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace verdask {

namespace {

std::string scientific3(double value) {
  char out[kNumberCapacity];
  return std::string(out, formatScientific3(value, out));
}

TEST(TextWriter, WritesThreeDigitExponents) {
  const std::vector<std::pair<double, const char*>> cases = {
      {20.0, "2.000e+001"},
      {3.14159, "3.142e+000"},
      {-1.5e-3, "-1.500e-003"},
      {0.0, "0.000e+000"},
      {-0.0, "-0.000e+000"},
      {9.9995, "9.999e+000"},
      {9.99951, "1.000e+001"},
      {1e100, "1.000e+100"},
      {-2.5e-300, "-2.500e-300"},
      {1.3f, "1.300e+000"},
      {INFINITY, "inf"},
      {-INFINITY, "-inf"},
      {NAN, "nan"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(scientific3(value), text) << value;
}

// The C library's "%0.3e", widened to a three-digit exponent.
std::string libraryScientific3(double value) {
  char text[64];
  snprintf(text, sizeof text, "%0.3e", value);
  std::string s = text;
  size_t e = s.find('e');
  if (e != std::string::npos && s.size() - e - 2 < 3) s.insert(e + 2, 3 - (s.size() - e - 2), '0');
  return s;
}

TEST(TextWriter, FormatsLikeTheLibraryOnRandomValues) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<uint64_t> bits;
  for (int i = 0; i < 100000; ++i) {
    uint64_t b = bits(random);
    double value;
    memcpy(&value, &b, sizeof value);
    if (!std::isfinite(value)) continue;
    ASSERT_EQ(scientific3(value), libraryScientific3(value));
    float f = static_cast<float>(value);
    if (std::isfinite(f)) {
      char want[kNumberCapacity], got[kNumberCapacity];
      int length = snprintf(want, sizeof want, "%.8f", static_cast<double>(f));
      ASSERT_EQ(std::string(got, formatFixed(f, 8, got)), std::string(want, length));
      length = snprintf(want, sizeof want, "%.2f", value);
      ASSERT_EQ(std::string(got, formatFixed(value, 2, got)), std::string(want, length));
    }
  }
}

TEST(TextWriter, PadsFieldsAndNeverCuts) {
  char* data = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&data, &size);
  {
    TextWriter out(stream);
    out.putInt(1001, 8);
    out.putInt(-7, 8);
    out.putInt(-123456789, 8);
    out.putInt(42);
    out.putFixed(2.5, 8, 16);
    out.putFixed(-1e10, 8, 16);
    out.put('\n');
    EXPECT_TRUE(out.finish());
  }
  fclose(stream);
  EXPECT_EQ(std::string(data, size),
            "    1001      -7-12345678942      2.50000000-10000000000.00000000\n");
  free(data);
}

TEST(TextWriter, ReportsAFullDevice) {
  FILE* full = fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  {
    TextWriter out(full);
    out.put("MeshVertex\n");
    EXPECT_FALSE(out.finish());
  }
  fclose(full);
}

#ifndef NDEBUG
TEST(TextWriterDeathTest, AssertsGuardTheNumberBuffer) {
  char out[kNumberCapacity];
  EXPECT_DEATH(formatFixed(1.0, 18, out), "precision");
}
#elif defined(VERDASK_CHECKED_BUILD)
#error "sanitizer and fuzz builds keep their asserts"
#endif

}  // namespace

}  // namespace verdask
