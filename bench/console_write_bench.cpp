// Throughput of the console writer into the in-memory console host, and how
// many console calls one line of output costs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "console/console_writer.h"
#include "console/print.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "process/runtime_state.h"

namespace {

using veltrane::host::ConsoleHost;

// An 80 x 300 console showing rows 0-24, set up as the first print leaves it.
struct Console {
  ConsoleHost host{80, 300};
  Console() {
    veltrane::runtime_reset();
    veltrane::host::attach_console_host(&host);
    host.set_window({0, 0, 79, 24});
    veltrane::console_setup();
    host.clear_call_log();
  }
  ~Console() { veltrane::host::attach_console_host(nullptr); }
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
};

// 4 KiB of printable text with a CR LF after every 70 bytes.
std::string chunk_of_lines() {
  std::string chunk;
  while (chunk.size() < 4096) {
    for (int i = 0; i < 70 && chunk.size() < 4094; ++i) chunk += static_cast<char>('!' + i % 90);
    chunk += "\r\n";
  }
  return chunk;
}

// Text that wraps as well: lines of 150 bytes span two rows.
std::string chunk_of_long_lines() {
  std::string chunk;
  while (chunk.size() < 4096) {
    for (int i = 0; i < 150 && chunk.size() < 4094; ++i) chunk += static_cast<char>('A' + i % 26);
    chunk += "\r\n";
  }
  return chunk;
}

void write_chunks(benchmark::State& state, const std::string& chunk) {
  Console console;
  for (auto _ : state) {
    veltrane::console_write(chunk.data(), static_cast<std::int32_t>(chunk.size()), 0);
    // The host logs every call; keep the log from growing without bound.
    console.host.clear_call_log();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk.size()));
}

void BM_console_write_lines(benchmark::State& state) { write_chunks(state, chunk_of_lines()); }
BENCHMARK(BM_console_write_lines);

void BM_console_write_wrapping(benchmark::State& state) {
  write_chunks(state, chunk_of_long_lines());
}
BENCHMARK(BM_console_write_wrapping);

// One 80-column line and its line end, printed as the tool prints: text, then
// CR LF as a write of its own. The window has reached the buffer's end, so
// every line scrolls the buffer. Counter: console calls per line.
void BM_print_line_calls(benchmark::State& state) {
  Console console;
  const std::string line(80, '=');
  for (int i = 0; i < 300; ++i) veltrane::print_text(0, line, veltrane::kPrintLineEnd);
  std::size_t calls = 0;
  for (auto _ : state) {
    console.host.clear_call_log();
    veltrane::print_text(0, line, veltrane::kPrintLineEnd);
    calls += console.host.call_log().size();
  }
  state.counters["calls_per_line"] =
      benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_print_line_calls);

// The same line through one console_write of text and CR LF together.
void BM_console_write_line_calls(benchmark::State& state) {
  Console console;
  const std::string line = std::string(78, '=') + "\r\n";
  for (int i = 0; i < 300; ++i) {
    veltrane::console_write(line.data(), static_cast<std::int32_t>(line.size()), 0);
  }
  std::size_t calls = 0;
  for (auto _ : state) {
    console.host.clear_call_log();
    veltrane::console_write(line.data(), static_cast<std::int32_t>(line.size()), 0);
    calls += console.host.call_log().size();
  }
  state.counters["calls_per_line"] =
      benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_console_write_line_calls);

}  // namespace
