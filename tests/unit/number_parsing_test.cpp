#include "console/number_parsing.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

// The worked values of typed lines are covered through the item reader in
// input_prompt_test; these are the conversions' own edges.
namespace veltrane {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::uint32_t integer_of(const std::string& text) {
  return convert_integer_item(text.data(), text.data() + text.size());
}

double float_of(const std::string& text) {
  return convert_float_item(text.data(), text.data() + text.size());
}

TEST(number_parsing, integer_items_saturate_and_honour_the_range) {
  const struct {
    const char* text;
    std::uint32_t value;
  } cases[] = {
      {"   ", 0},
      {" \t 9", 9},
      {"-0", 0},
      {"--1", 0},
      {"99999999999999999999999", 4294967295u},
      {"-4294967295", 1},
      {"-4294967296", 4294967295u},
      {"&o777", 511},
      {"&b12", 1},
      {"&HFFFFFFFF", 4294967295u},
      {"&H0x1f", 31},
      {"&H-1", 4294967295u},
      {"&O8", 0},
      {"&", 0},
      {" \t\n\v\f\r5", 5},
      {" &H10", 16},
      {"&Ha", 10},
      {"&HA", 10},
      {"1@", 1},
      {"&H1@", 1},
      {"&H0X1F", 31},
      {"&H05", 5},
      {"7h", 7},
  };
  for (const auto& c : cases) EXPECT_EQ(integer_of(c.text), c.value) << '"' << c.text << '"';
  const char text[] = "12345";
  EXPECT_EQ(convert_integer_item(text, text + 3), 123u);
  EXPECT_EQ(convert_integer_item(text, text), 0u);
}

TEST(number_parsing, float_items_take_only_a_decimal_prefix) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"+2.25", 2.25},  {".5", 0.5},      {"5.", 5.0},
      {"1E+3", 1000.0}, {"1d-3", 0.001},  {"12e+", 12.0},
      {"1.5.5", 1.5},   {"  \t-3", -3.0}, {"2.5e-3xyz", 0.0025},
      {"0x10", 0.0},    {"inf", 0.0},     {"nan", 0.0},
      {"-", 0.0},       {".", 0.0},       {"e5", 0.0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(float_of(c.text), c.value) << '"' << c.text << '"';
  const char text[] = "1.5e25";
  EXPECT_DOUBLE_EQ(convert_float_item(text, text + 3), 1.5);
  EXPECT_DOUBLE_EQ(convert_float_item(text, text + 5), 1.5e2);
}

TEST(number_parsing, float_out_of_range_goes_to_infinity_or_zero) {
  EXPECT_EQ(float_of("1e400"), kInfinity);
  EXPECT_EQ(float_of("-1D400"), -kInfinity);
  EXPECT_EQ(float_of("1e99999999999999999999"), kInfinity);
  EXPECT_EQ(float_of("1e-400"), 0.0);
  EXPECT_EQ(float_of("0.0e999999999999"), 0.0);
  // Where the digits stand decides, not the exponent's sign alone.
  EXPECT_EQ(float_of("1" + std::string(400, '0') + "e-50"), kInfinity);
  EXPECT_EQ(float_of("0." + std::string(400, '0') + "1e50"), 0.0);
  EXPECT_DOUBLE_EQ(float_of("0." + std::string(200, '0') + "1D201"), 1.0);
  // A long number with a "D" mark: zero stays zero, and it reads like the "E" form.
  EXPECT_EQ(float_of(std::string(130, '0') + "D400"), 0.0);
  std::string digits;
  for (int i = 0; i < 20; ++i) digits += "123456789";
  EXPECT_EQ(float_of(digits + "d-170"), float_of(digits + "e-170"));
}

TEST(number_parsing, rounding_to_32_bits_goes_half_even_and_wraps) {
  const struct {
    double value;
    std::uint32_t result;
  } cases[] = {
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {-1.5, 4294967294u},
      {4294967295.4, 4294967295u},
      {9223372036854774784.0, 4294966272u},  // the largest double below 2^63
      {9223372036854775808.0, 0},
      {-9223372036854775808.0, 0},
      {kInfinity, 0},
      {-kInfinity, 0},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(round_to_u32(c.value), c.result) << c.value;
}

}  // namespace
}  // namespace veltrane
