// Fuzzes the decoding of redirected standard input: the input is the bytes
// of an ids file or pipe, read in requests of varying sizes. Whatever the
// bytes, every request is filled within its bounds, no character becomes
// more than one byte, decoded text is ASCII, and input that is ASCII
// throughout comes out byte for byte, and so does the same text typed by an
// input method (full width, its own punctuation) behind a UTF-8 mark.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/redirected_text.h"
#include "fuzz_check.h"
#include "process/last_error.h"
#include "process/runtime_state.h"

namespace {

// What the reads deliver for the input, checking each request's bounds.
std::string decoded(const std::string& input, unsigned request_mask) {
  std::FILE* stream = fmemopen(const_cast<char*>(input.data()), input.size(), "rb");
  if (stream == nullptr) std::abort();
  veltrane::runtime_reset();
  veltrane::runtime_state().standard_input = stream;
  std::string out;
  std::uint8_t buffer[9];
  for (unsigned round = 0;; ++round) {
    const std::uint32_t wanted = 1 + ((round ^ request_mask) & 7u);
    std::memset(buffer, 0xA5, sizeof buffer);
    std::uint32_t count = wanted;
    FUZZ_CHECK(veltrane::read_redirected_text(buffer, &count) == veltrane::kSuccess);
    FUZZ_CHECK(count <= wanted);
    for (std::uint32_t i = count; i < wanted; ++i) FUZZ_CHECK(buffer[i] == 0);
    FUZZ_CHECK(buffer[wanted] == 0xA5);
    out.append(reinterpret_cast<const char*>(buffer), count);
    FUZZ_CHECK(out.size() <= input.size());
    if (count == 0) break;
  }
  std::fclose(stream);
  return out;
}

// The UTF-8 of a character as an input method may type it for the ASCII
// character c: full width, or its own punctuation (the `n`th `-` in turn as
// `ー` and the minus sign); control characters as they are.
std::string typed_form(char c, std::size_t n) {
  char32_t wide = static_cast<unsigned char>(c);
  if (c == ' ') wide = 0x3000;
  if (c > ' ' && c < 0x7F) wide = wide + 0xFEE0;
  if (c == ',') wide = 0x3001;
  if (c == '.') wide = 0x3002;
  if (c == '-') wide = n % 2 == 0 ? 0x30FC : 0x2212;
  if (wide < 0x80) return std::string(1, c);
  return {static_cast<char>(0xE0 | wide >> 12), static_cast<char>(0x80 | (wide >> 6 & 0x3F)),
          static_cast<char>(0x80 | (wide & 0x3F))};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte sets the sizes of the requests; the rest is the input.
  const unsigned request_mask = data[0] & 7u;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string out = decoded(input, request_mask);

  bool ascii = true;
  for (const char c : input) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    FUZZ_CHECK(out == input);
    std::string typed = "\xEF\xBB\xBF";
    for (std::size_t i = 0; i < input.size(); ++i) typed += typed_form(input[i], i);
    FUZZ_CHECK(decoded(typed, request_mask) == input);
  }
  // Text behind a byte-order mark is decoded: every byte delivered is ASCII.
  const bool marked = input.rfind("\xEF\xBB\xBF", 0) == 0 || input.rfind("\xFF\xFE", 0) == 0 ||
                      input.rfind("\xFE\xFF", 0) == 0;
  if (marked) {
    for (const char c : out) FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);
  }
  return 0;
}
