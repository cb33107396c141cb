// Fuzzes the item scanner and both number conversions: the input is a typed
// line. Each conversion is compared with a plain reference written here, and
// the scanner's items are checked for the shape the conversions rely on.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "console/input_source.h"
#include "console/item_reader.h"
#include "console/number_parsing.h"
#include "fuzz_check.h"
#include "process/runtime_state.h"

namespace {

using veltrane::InputContext;
using veltrane::ScannedItem;

bool is_c_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int reference_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// Radix prefix, sign, "0x" in radix 16, digits; saturates above 4294967295
// whatever the sign, otherwise a "-" negates modulo 2^32.
std::uint32_t reference_integer(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  unsigned radix = 10;
  if (text.size() - i >= 2 && text[i] == '&') {
    const char letter = static_cast<char>(text[i + 1] | 0x20);
    radix = letter == 'h' ? 16 : letter == 'o' ? 8 : letter == 'b' ? 2 : 10;
    if (radix != 10) i += 2;
  }
  while (i < text.size() && is_c_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (radix == 16 && text.size() - i >= 2 && text[i] == '0' && (text[i + 1] | 0x20) == 'x') i += 2;
  std::uint64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && reference_digit(text[i]) < static_cast<int>(radix); ++i) {
    value = value * radix + static_cast<unsigned>(reference_digit(text[i]));
    if (value > 0xFFFFFFFFu) {
      saturated = true;
      value = 0xFFFFFFFFu;
    }
  }
  if (saturated) return 0xFFFFFFFFu;
  const auto result = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0u - result) : result;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The longest leading decimal number, "D" read as "E", given to strtod.
double reference_float(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string rest(text.substr(i));
  for (char& c : rest) {
    if (c == 'D') c = 'E';
    if (c == 'd') c = 'e';
  }
  std::size_t end = 0;
  while (end < rest.size() && is_c_space(rest[end])) ++end;
  if (end < rest.size() && (rest[end] == '+' || rest[end] == '-')) ++end;
  std::size_t digits = 0;
  bool point = false;
  for (; end < rest.size(); ++end) {
    if (is_digit(rest[end])) {
      ++digits;
    } else if (rest[end] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return 0.0;
  if (end < rest.size() && (rest[end] == 'e' || rest[end] == 'E')) {
    std::size_t exponent = end + 1;
    if (exponent < rest.size() && (rest[exponent] == '+' || rest[exponent] == '-')) ++exponent;
    if (exponent < rest.size() && is_digit(rest[exponent])) {
      while (exponent < rest.size() && is_digit(rest[exponent])) ++exponent;
      end = exponent;
    }
  }
  return std::strtod(rest.substr(0, end).c_str(), nullptr);
}

// Half to even, then 0 from 2^63 on, else the low 32 bits of the signed value.
std::uint32_t reference_round(double value) {
  const double below = std::floor(value);
  const double fraction = value - below;
  double rounded = below;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0)) rounded = below + 1.0;
  if (!(std::fabs(rounded) < 9223372036854775808.0)) return 0;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(rounded)));
}

bool same_double(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

void check_conversions(std::string_view text) {
  const char* first = text.data();
  const char* last = first + text.size();
  FUZZ_CHECK(veltrane::convert_integer_item(first, last) == reference_integer(text));
  const double value = veltrane::convert_float_item(first, last);
  FUZZ_CHECK(!std::isnan(value));
  FUZZ_CHECK(same_double(value, reference_float(text)));
  FUZZ_CHECK(veltrane::round_to_u32(value) == reference_round(value));
}

// An item holds no line end; "D" survives only after "&"; the floating-point
// look is set exactly when ".", "E" or "e" comes before any "&".
void check_item_shape(const ScannedItem& item) {
  FUZZ_CHECK(item.text.size() <= veltrane::kItemLimit);
  bool radix_mark = false;
  bool floating = false;
  for (const char c : item.text) {
    FUZZ_CHECK(c != '\n' && c != '\r');
    if (c == '&') radix_mark = true;
    if (!radix_mark) {
      FUZZ_CHECK(c != 'D' && c != 'd');
      floating = floating || c == '.' || c == 'E' || c == 'e';
    }
  }
  FUZZ_CHECK(item.floating_point_look == floating);
}

std::uint32_t reference_item_value(const ScannedItem& item) {
  return item.floating_point_look ? reference_round(reference_float(item.text))
                                  : reference_integer(item.text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool initialised = (veltrane::runtime_reset(), true);
  (void)initialised;
  const std::string line(reinterpret_cast<const char*>(data), size);
  check_conversions(line);

  // Every item of the line in turn: each scan consumes something until the end.
  InputContext context{nullptr, line, 0};
  for (std::size_t scans = 0; scans <= line.size(); ++scans) {
    const std::int32_t before = context.position;
    const ScannedItem item = veltrane::scan_item(context, veltrane::kItemLimit);
    check_item_shape(item);
    check_conversions(item.text);
    FUZZ_CHECK(context.position >= before);
    FUZZ_CHECK(static_cast<std::size_t>(context.position) <= line.size());
    if (static_cast<std::size_t>(context.position) == line.size()) break;
    FUZZ_CHECK(context.position > before);
  }

  // The item read converts the line's first item as chosen by its look.
  InputContext fresh{nullptr, line, 0};
  const ScannedItem first = veltrane::scan_item(fresh, veltrane::kItemLimit);
  veltrane::input_context() = InputContext{nullptr, line, 0};
  std::uint32_t value = 0xDEADBEEF;
  FUZZ_CHECK(veltrane::input_read_u32(&value) == 0);
  FUZZ_CHECK(value == reference_item_value(first));
  return 0;
}
