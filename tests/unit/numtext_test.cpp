// Numbers as text: the same characters as the C library's "%lld" and "%.*x",
// which they replace in the log lines and version-resource queries.
#include "vqdlib/numtext.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>

namespace {

std::string Printed(const char* format, long long value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

TEST(NumText, DecimalAsPrintfWritesIt) {
  const long long values[] = {0,       1,        -1,       9,         10,       -10,       99,
                              100,     12345,    -12345,   INT_MAX,   INT_MIN,  UINT32_MAX,
                              1LL << 40, LLONG_MAX, LLONG_MIN, LLONG_MIN + 1};
  for (long long value : values) EXPECT_EQ(DecimalText(value), Printed("%lld", value)) << value;
}

TEST(NumText, HexPaddedToAtLeastTheDigitsGiven) {
  struct Case {
    uint32_t value;
    int digits;
  };
  const Case cases[] = {{0, 4},      {0x409, 4},   {0x4e4, 4},        {0xffff, 4},       {0x12345, 4},
                        {0, 1},      {0xa, 1},     {0xdeadbeef, 8},   {0xdeadbeef, 4},   {0, 8},
                        {0x1f, 0},   {0, 0},       {UINT32_MAX, 10}};
  for (const Case& c : cases) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "%.*x", c.digits, static_cast<unsigned>(c.value));
    EXPECT_EQ(HexText(c.value, c.digits), expected) << c.value << " " << c.digits;
  }
}

}  // namespace
