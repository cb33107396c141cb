// Fuzzes the decoding of redirected standard input: the input is the bytes
// of an ids file or pipe, read in requests of varying sizes. Whatever the
// bytes, every request is filled within its bounds, no character becomes
// more than one byte, decoded text is ASCII, and input that is ASCII
// throughout comes out byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/redirected_text.h"
#include "fuzz_check.h"
#include "process/last_error.h"
#include "process/runtime_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte sets the sizes of the requests; the rest is the input.
  const unsigned request_mask = data[0] & 7u;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  std::FILE* stream = fmemopen(const_cast<char*>(input.data()), input.size(), "rb");
  if (input.empty() || stream == nullptr) {
    if (stream != nullptr) std::fclose(stream);
    return 0;
  }
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

  bool ascii = true;
  for (const char c : input) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) FUZZ_CHECK(out == input);
  // Text behind a byte-order mark is decoded: every byte delivered is ASCII.
  const bool marked = input.rfind("\xEF\xBB\xBF", 0) == 0 || input.rfind("\xFF\xFE", 0) == 0 ||
                      input.rfind("\xFE\xFF", 0) == 0;
  if (marked) {
    for (const char c : out) FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);
  }
  return 0;
}
