#include <gtest/gtest.h>

#include <cstdint>

#include "cmn/qvadnumber.h"

TEST(NumberReaders, LeadingInt32ReadsAsAtoiAndSaturates) {
  struct Case {
    const char *text;
    std::int32_t want;
  } cases[] = {
      {nullptr, 0},
      {"", 0},
      {"   ", 0},
      {"abc", 0},
      {"-", 0},
      {"+-3", 0},
      {"- 3", 0},
      {"x12", 0},
      {" \t\n\v\f\r42", 42},
      {"+7", 7},
      {"-7", -7},
      {"007", 7},
      {"12abc", 12},
      {"3 4", 3},
      {"1.9", 1},
      {"12\n", 12},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", INT32_MIN},
      {"-2147483649", INT32_MIN},
      // Values a 64-bit wrap would turn into small ones.
      {"4294967298", 2147483647},
      {"-4294967297", INT32_MIN},
      {"99999999999999999999999", 2147483647},
  };
  for (const auto &c : cases) EXPECT_EQ(Qvad_LeadingInt32(c.text), c.want) << (c.text ? c.text : "(null)");
}

TEST(NumberReaders, LeadingInt64SaturatesExactlyAtTheLongLongRange) {
  struct Case {
    const char *text;
    long long want;
  } cases[] = {
      {nullptr, 0},
      {"", 0},
      {" x", 0},
      {"  -12kB", -12},
      {"+4294967296", 4294967296LL},
      {"9223372036854775800", 9223372036854775800LL},
      {"9223372036854775806", 9223372036854775806LL},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", INT64_MAX},
      {"-9223372036854775807", -INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"-9223372036854775809", INT64_MIN},
      {"184467440737095516160", INT64_MAX},
  };
  for (const auto &c : cases) EXPECT_EQ(Qvad_LeadingInt64(c.text), c.want) << (c.text ? c.text : "(null)");
}

TEST(NumberReaders, LeadingRealReadsPlainDecimalOnly) {
  struct Case {
    const char *text;
    double want;
  } cases[] = {
      {nullptr, 0.0},   {"", 0.0},    {".", 0.0},    {"-.", 0.0},     {"+", 0.0},
      {"inf", 0.0},     {"nan", 0.0}, {"0x10", 0.0}, {"e5", 0.0},     {" \t1.5GB", 1.5},
      {"-2.25", -2.25}, {"+.5", 0.5}, {"5.", 5.0},   {"1e3", 1000.0}, {"1E+2x", 100.0},
      {"2.5e-1", 0.25}, {"7e", 7.0},  {"7e+", 7.0},  {"12,5", 12.0},
  };
  for (const auto &c : cases) EXPECT_DOUBLE_EQ(Qvad_LeadingReal(c.text), c.want) << (c.text ? c.text : "(null)");
}

TEST(NumberReaders, ProfileIntValueReadsPrefixesAndWrapsAt32Bits) {
  struct Case {
    const char *text;
    std::uint32_t want;
  } cases[] = {
      {nullptr, 0u},       {"", 0u},
      {"x", 0u},           {"\x01\x1f 12", 12u},
      {"12abc", 12u},      {"+5", 5u},
      {"-1", 0xFFFFFFFFu}, {"0x1F", 31u},
      {"0XF", 0u},  // only a lower-case prefix counts
      {"0xfg", 15u},       {"-0x10", 0xFFFFFFF0u},
      {"0o17", 15u},       {"0o8", 0u},
      {"0b101", 5u},       {"0b2", 0u},
      {"0x", 0u},          {"4294967295", 0xFFFFFFFFu},
      {"4294967297", 1u},
  };
  for (const auto &c : cases) EXPECT_EQ(Qvad_ProfileIntValue(c.text), c.want) << (c.text ? c.text : "(null)");
}

TEST(NumberReaders, WholeDecimalRefusesTrailingTextAndOverflow) {
  struct Case {
    const char *text;
    bool ok;
    std::int32_t want;
  } cases[] = {
      {nullptr, false, 0},
      {"", false, 0},
      {"  ", false, 0},
      {"+", false, 0},
      {"-", false, 0},
      {"12 ", false, 0},
      {"12s", false, 0},
      {"0x10", false, 0},
      {"1.0", false, 0},
      {"  30", true, 30},
      {"+30", true, 30},
      {"-1", true, -1},
      {"007", true, 7},
      {"2147483647", true, 2147483647},
      {"2147483648", false, 0},
      {"-2147483648", true, INT32_MIN},
      {"-2147483649", false, 0},
      {"4294967326", false, 0},
      {"99999999999999999999999", false, 0},
  };
  for (const auto &c : cases) {
    std::int32_t v = 99;
    EXPECT_EQ(Qvad_WholeDecimal(c.text, &v), c.ok) << (c.text ? c.text : "(null)");
    EXPECT_EQ(v, c.ok ? c.want : 99) << (c.text ? c.text : "(null)");
  }
}
