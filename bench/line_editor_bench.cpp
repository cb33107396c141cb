// The cost of one typed key in the line editor: at the end of the line, and
// inserted at the start of a 200-character line (which redraws the line's
// three rows). Keys arrive one at a time on the host's virtual clock; only
// the real time from a key's arrival to the editor's next wait is counted.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "console/line_editor.h"
#include "platform/console_api.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "process/runtime_state.h"

namespace {

using Clock = std::chrono::steady_clock;
using veltrane::host::ConsoleHost;

constexpr int kMeasuredKeys = 20;

// Edits one line: `typed_ahead` is queued before the editor starts; then
// kMeasuredKeys copies of `key` arrive a second apart, then Enter. Returns
// the real time spent on the measured keys.
Clock::duration edit_once(const std::string& typed_ahead, bool then_home, char key) {
  ConsoleHost host(80, 300);
  veltrane::runtime_reset();
  veltrane::host::attach_console_host(&host);
  host.set_window({0, 0, 79, 24});
  host.queue_text(typed_ahead);
  if (then_home) host.queue_key(VK_HOME, 0, ENHANCED_KEY);
  for (int i = 1; i <= kMeasuredKeys; ++i)
    host.schedule_text(1000u * static_cast<unsigned>(i), {key});
  host.schedule_text(1000u * (kMeasuredKeys + 1), "\r");

  Clock::duration spent{};
  Clock::time_point key_arrived{};
  int measured = 0;
  // Runs inside Sleep after the clock moved: input queued now is a key the
  // editor takes as soon as this wait returns.
  host.set_wait_routine([&](DWORD) {
    const Clock::time_point now = Clock::now();
    if (key_arrived != Clock::time_point{}) {
      spent += now - key_arrived;
      key_arrived = {};
    }
    if (measured < kMeasuredKeys && host.queued_input_count() > 0) {
      ++measured;
      key_arrived = Clock::now();
    }
  });
  const auto line = veltrane::read_console_line();
  benchmark::DoNotOptimize(line);
  host.set_wait_routine(nullptr);
  veltrane::host::attach_console_host(nullptr);
  return spent;
}

void run(benchmark::State& state, const std::string& typed_ahead, bool then_home) {
  for (auto _ : state) {
    const auto spent = edit_once(typed_ahead, then_home, 'x');
    state.SetIterationTime(std::chrono::duration<double>(spent).count() / kMeasuredKeys);
  }
}

void BM_key_at_end_of_line(benchmark::State& state) { run(state, "", false); }
BENCHMARK(BM_key_at_end_of_line)->UseManualTime();

// Home after 200 characters: every key goes in at index 0.
void BM_key_at_start_of_200_character_line(benchmark::State& state) {
  run(state, std::string(200, 'z'), true);
}
BENCHMARK(BM_key_at_start_of_200_character_line)->UseManualTime();

}  // namespace
