#include "console/number_parsing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace veltrane {
namespace {

constexpr std::uint64_t kU32Max = 0xFFFFFFFFu;

// White space as the C library's isspace sees it in the "C" locale.
bool is_white(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_decimal_digit(char c) noexcept { return c >= '0' && c <= '9'; }

const char* skip_blanks(const char* first, const char* last) noexcept {
  while (first != last && *first == ' ') ++first;
  return first;
}

// The value of a digit in the radix, or -1 when it is none.
int digit_value(char c, unsigned radix) noexcept {
  int value = -1;
  if (is_decimal_digit(c)) {
    value = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  }
  return value >= 0 && static_cast<unsigned>(value) < radix ? value : -1;
}

unsigned radix_of_prefix(char letter) noexcept {
  switch (letter) {
    case 'H':
    case 'h':
      return 16;
    case 'O':
    case 'o':
      return 8;
    case 'B':
    case 'b':
      return 2;
    default:
      return 0;
  }
}

// Reads like strtoul in one radix, but saturates at 4294967295 for any sign.
std::uint32_t read_unsigned(const char* first, const char* last, unsigned radix) noexcept {
  while (first != last && is_white(*first)) ++first;
  bool negative = false;
  if (first != last && (*first == '+' || *first == '-')) negative = *first++ == '-';
  if (radix == 16 && last - first >= 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
    first += 2;
  }
  std::uint64_t value = 0;
  for (; first != last; ++first) {
    const int digit = digit_value(*first, radix);
    if (digit < 0) break;
    value = value * radix + static_cast<unsigned>(digit);
    // Too large for any sign: the result stays at the maximum.
    if (value > kU32Max) return static_cast<std::uint32_t>(kU32Max);
  }
  const auto result = static_cast<std::uint32_t>(value);
  return negative ? 0u - result : result;
}

bool is_exponent_mark(char c) noexcept { return c == 'E' || c == 'e' || c == 'D' || c == 'd'; }

// The decimal number at the start of a range, as find_decimal_number saw it.
struct DecimalNumber {
  bool negative;
  const char* digits_first;   // the digits and point, after the sign
  const char* mantissa_last;  // where the exponent mark (or the end) stands
  const char* number_last;    // end of the number, exponent included
  std::int64_t exponent;      // saturated far beyond the range of a double
  // Places before the point of the first non-zero digit (0 or negative when
  // it stands after the point); with the exponent it tells overflow from
  // underflow.
  std::int64_t leading_places;
};

// Finds the longest leading decimal number; false when there is none.
bool find_decimal_number(const char* first, const char* last, DecimalNumber& number) noexcept {
  while (first != last && is_white(*first)) ++first;
  number.negative = false;
  if (first != last && (*first == '+' || *first == '-')) number.negative = *first++ == '-';
  number.digits_first = first;
  bool any_digit = false;
  bool seen_point = false;
  bool seen_nonzero = false;
  std::int64_t integer_places = 0;  // integer digits from the first non-zero one
  std::int64_t fraction_zeros = 0;  // zeros after the point before a non-zero digit
  for (; first != last; ++first) {
    if (is_decimal_digit(*first)) {
      any_digit = true;
      seen_nonzero = seen_nonzero || *first != '0';
      if (!seen_point && seen_nonzero) ++integer_places;
      if (seen_point && !seen_nonzero) ++fraction_zeros;
    } else if (*first == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return false;
  number.leading_places = integer_places > 0 ? integer_places : -fraction_zeros;
  number.mantissa_last = first;
  number.number_last = first;
  number.exponent = 0;
  if (first != last && is_exponent_mark(*first)) {
    const char* cursor = first + 1;
    bool exponent_negative = false;
    if (cursor != last && (*cursor == '+' || *cursor == '-')) exponent_negative = *cursor++ == '-';
    if (cursor != last && is_decimal_digit(*cursor)) {
      for (; cursor != last && is_decimal_digit(*cursor); ++cursor) {
        if (number.exponent < 1000000000) number.exponent = number.exponent * 10 + (*cursor - '0');
      }
      if (exponent_negative) number.exponent = -number.exponent;
      number.number_last = cursor;
    }
  }
  return true;
}

// Converts the unsigned number; from_chars takes only "e" or "E" as the
// exponent mark, so a number with a "D" goes through a copy.
std::errc parse_magnitude(const DecimalNumber& number, double& value) noexcept {
  const char* mark = number.mantissa_last;
  const bool d_mark = number.number_last != mark && (*mark == 'D' || *mark == 'd');
  if (!d_mark) return std::from_chars(number.digits_first, number.number_last, value).ec;
  constexpr std::ptrdiff_t kCopyLimit = 128;
  const std::ptrdiff_t length = number.number_last - number.digits_first;
  if (length > kCopyLimit) {
    // Longer than any item the scanner gives: a heap copy keeps the result
    // correctly rounded (scaling apart would round twice, and 0 times an
    // infinite power of ten is not a number).
    std::string text(number.digits_first, number.number_last);
    text[static_cast<std::size_t>(mark - number.digits_first)] = 'e';
    return std::from_chars(text.data(), text.data() + text.size(), value).ec;
  }
  char text[kCopyLimit];
  std::copy(number.digits_first, number.number_last, text);
  text[mark - number.digits_first] = 'e';
  return std::from_chars(text, text + length, value).ec;
}

}  // namespace

std::uint32_t convert_integer_item(const char* first, const char* last) noexcept {
  first = skip_blanks(first, last);
  if (first == last) return 0;
  if (last - first >= 2 && first[0] == '&') {
    const unsigned radix = radix_of_prefix(first[1]);
    if (radix != 0) return read_unsigned(first + 2, last, radix);
  }
  return read_unsigned(first, last, 10);
}

double convert_float_item(const char* first, const char* last) noexcept {
  first = skip_blanks(first, last);
  DecimalNumber number{};
  if (!find_decimal_number(first, last, number)) return 0.0;
  double value = 0.0;
  const std::errc parsed = parse_magnitude(number, value);
  if (parsed == std::errc::result_out_of_range) {
    const bool too_large = number.leading_places + number.exponent > 0;
    value = too_large ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (parsed != std::errc{}) {
    value = 0.0;
  }
  return number.negative ? -value : value;
}

std::uint32_t round_to_u32(double value) noexcept {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  // Under the round-to-nearest mode set at start-up: halves go to even.
  const double rounded = std::nearbyint(value);
  if (!(std::fabs(rounded) < kTwoTo63)) return 0;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(rounded)));
}

}  // namespace veltrane
