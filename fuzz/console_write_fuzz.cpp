// Fuzzes the console writer: arbitrary bytes written to a small console,
// between which the window, the cursor or the buffer size may change as a
// user could change them. After each write the cursor and the window lie in
// the buffer, and when nothing was scrolled or filled, only cells in the rows
// from the starting cursor row to the final one changed (the writer never
// goes up a row).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "console/console_view.h"
#include "console/console_writer.h"
#include "fuzz_check.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "process/runtime_state.h"

namespace {

using veltrane::host::ApiCall;
using veltrane::host::ConsoleHost;

constexpr SHORT kColumns = 20;
constexpr SHORT kRows = 12;
constexpr int kMaxSteps = 64;  // keeps each run short

// The characters of every row, padded to the buffer width. Written cells take
// the console's attribute, so a change always shows in the characters.
std::vector<std::string> rows_of(const ConsoleHost& console) {
  const COORD size = console.buffer_size();
  std::vector<std::string> rows;
  rows.reserve(static_cast<std::size_t>(size.Y));
  for (SHORT y = 0; y < size.Y; ++y) {
    rows.push_back(console.row_text(y));
    rows.back().resize(static_cast<std::size_t>(size.X), ' ');
  }
  return rows;
}

bool inside(COORD size, SHORT x, SHORT y) { return x >= 0 && y >= 0 && x < size.X && y < size.Y; }

SHORT fuzzed_short(FuzzedDataProvider& input, int low, int high) {
  return static_cast<SHORT>(input.ConsumeIntegralInRange<int>(low, high));
}

void write_and_check(ConsoleHost& console, FuzzedDataProvider& input) {
  const std::int32_t flags = input.ConsumeBool() ? veltrane::kWriteSettle : 0;
  const std::vector<std::uint8_t> bytes =
      input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 80));
  const std::vector<std::string> before = rows_of(console);
  const COORD size = console.buffer_size();
  const SHORT start_row = console.cursor().Y;
  console.clear_call_log();

  veltrane::console_write(bytes.data(), static_cast<std::int32_t>(bytes.size()), flags);

  FUZZ_CHECK(console.buffer_size().X == size.X && console.buffer_size().Y == size.Y);
  const COORD cursor = console.cursor();
  FUZZ_CHECK(inside(size, cursor.X, cursor.Y));
  const SMALL_RECT window = console.window();
  FUZZ_CHECK(inside(size, window.Left, window.Top) && inside(size, window.Right, window.Bottom));
  FUZZ_CHECK(window.Left <= window.Right && window.Top <= window.Bottom);

  // Passed-through bytes (a view of one row or column counts as no console)
  // go through the console's own output processing, which scrolls by itself.
  const bool moved_text = console.call_count(ApiCall::WriteFile) != 0 ||
                          console.call_count(ApiCall::ScrollConsoleScreenBufferA) != 0 ||
                          console.call_count(ApiCall::FillConsoleOutputCharacterA) != 0 ||
                          console.call_count(ApiCall::FillConsoleOutputAttribute) != 0;
  if (moved_text) return;
  const std::vector<std::string> after = rows_of(console);
  for (SHORT row = 0; row < size.Y; ++row) {
    if (after[static_cast<std::size_t>(row)] == before[static_cast<std::size_t>(row)]) continue;
    FUZZ_CHECK(row >= start_row && row <= cursor.Y);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  ConsoleHost console(kColumns, kRows);
  veltrane::host::attach_console_host(&console);
  veltrane::runtime_reset();
  const SHORT top = fuzzed_short(input, 0, kRows - 5);
  console.set_window({0, top, kColumns - 1, static_cast<SHORT>(top + 4)});
  console.set_cursor(fuzzed_short(input, 0, kColumns - 1), fuzzed_short(input, top, top + 4));
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  veltrane::console_size(&columns, &rows);
  FUZZ_CHECK(columns == kColumns && rows == 5);
  veltrane::text_rows();

  for (int step = 0; step < kMaxSteps && input.remaining_bytes() > 0; ++step) {
    switch (input.ConsumeIntegralInRange<int>(0, 15)) {
      case 0:
        console.set_window({fuzzed_short(input, 0, kColumns - 1), fuzzed_short(input, 0, kRows - 1),
                            fuzzed_short(input, 0, kColumns - 1),
                            fuzzed_short(input, 0, kRows - 1)});
        break;
      case 1:
        console.set_cursor(fuzzed_short(input, 0, kColumns - 1), fuzzed_short(input, 0, kRows - 1));
        break;
      case 2:
        console.set_buffer_size(fuzzed_short(input, 1, kColumns + 4),
                                fuzzed_short(input, 1, kRows + 4));
        break;
      default:
        write_and_check(console, input);
        break;
    }
  }
  veltrane::host::attach_console_host(nullptr);
  return 0;
}
