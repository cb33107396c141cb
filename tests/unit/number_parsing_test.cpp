#include "console/number_parsing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace veltrane {
namespace {

std::uint32_t integer_of(const std::string& text) {
  return convert_integer_item(text.data(), text.data() + text.size());
}

double float_of(const std::string& text) {
  return convert_float_item(text.data(), text.data() + text.size());
}

TEST(number_parsing, integer_items_in_every_radix) {
  const struct {
    const char* text;
    std::uint32_t value;
  } cases[] = {
      {"", 0},           {"   ", 0},          {"abc", 0},           {"12abc", 12},
      {"+7", 7},         {"007", 7},          {"0x1F", 0},          {"-1", 4294967295u},
      {"-0", 0},         {"  42", 42},        {" \t 9", 9},         {"4294967295", 4294967295u},
      {"4294967296", 4294967295u},            {"99999999999999999999999", 4294967295u},
      {"-4294967295", 1}, {"-4294967296", 4294967295u},
      {"&HFF", 255},     {"&hff", 255},       {"&HD", 13},          {"&O17", 15},
      {"&o777", 511},    {"&B101", 5},        {"&b12", 1},          {"&H", 0},
      {"&H100000000", 4294967295u},           {"&HFFFFFFFF", 4294967295u},
      {"&H0x1f", 31},    {"&H-1", 4294967295u}, {"&O8", 0},          {"&X5", 0},
      {"&", 0},          {"1 2", 1},          {"1,5", 1},           {"--1", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(integer_of(c.text), c.value) << '"' << c.text << '"';
}

TEST(number_parsing, integer_stops_at_the_end_of_the_range) {
  const char text[] = "12345";
  EXPECT_EQ(convert_integer_item(text, text + 3), 123u);
  EXPECT_EQ(convert_integer_item(text, text), 0u);
  const char prefix[] = "&H";
  EXPECT_EQ(convert_integer_item(prefix, prefix + 1), 0u);  // a lone "&"
}

TEST(number_parsing, float_items_take_the_longest_decimal_prefix) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"", 0.0},         {"  ", 0.0},       {"1.5", 1.5},       {"-0.5", -0.5},
      {"+2.25", 2.25},   {".5", 0.5},       {"5.", 5.0},        {"1e3", 1000.0},
      {"1E+3", 1000.0},  {"1D3", 1000.0},   {"1d-3", 0.001},    {"12e", 12.0},
      {"12e+", 12.0},    {"12ex", 12.0},    {"1.5.5", 1.5},     {"  \t-3", -3.0},
      {"0x10", 0.0},     {"inf", 0.0},      {"nan", 0.0},       {"-", 0.0},
      {".", 0.0},        {"e5", 0.0},       {"4294967296.0", 4294967296.0},
      {"2.5e-3xyz", 0.0025}, {"1e-400", 0.0}, {"0.0e999999999999", 0.0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(float_of(c.text), c.value) << '"' << c.text << '"';
}

TEST(number_parsing, float_out_of_range_goes_to_infinity_or_zero) {
  const double infinity = std::numeric_limits<double>::infinity();
  EXPECT_EQ(float_of("1e400"), infinity);
  EXPECT_EQ(float_of("-1D400"), -infinity);
  EXPECT_EQ(float_of("1e99999999999999999999"), infinity);
  EXPECT_EQ(float_of("1e-99999999999999999999"), 0.0);
  // Where the digits stand decides, not the exponent's sign alone.
  EXPECT_EQ(float_of("1" + std::string(400, '0') + "e-50"), infinity);
  EXPECT_EQ(float_of("0." + std::string(400, '0') + "1e50"), 0.0);
  // A long number with a D exponent is still read.
  EXPECT_DOUBLE_EQ(float_of("0." + std::string(200, '0') + "1D201"), 1.0);
}

TEST(number_parsing, rounding_to_32_bits_goes_half_even_and_wraps) {
  const struct {
    double value;
    std::uint32_t result;
  } cases[] = {
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {12.7, 13},
      {-0.5, 0},
      {-1.5, 4294967294u},
      {-1.0, 4294967295u},
      {1e10, 1410065408u},
      {4294967296.0, 0},
      {4294967295.4, 4294967295u},
      {9223372036854774784.0, 4294966272u},  // largest double below 2^63
      {9223372036854775808.0, 0},            // 2^63
      {-9223372036854775808.0, 0},
      {1e19, 0},
      {std::numeric_limits<double>::infinity(), 0},
      {-std::numeric_limits<double>::infinity(), 0},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(round_to_u32(c.value), c.result) << c.value;
}

}  // namespace
}  // namespace veltrane
