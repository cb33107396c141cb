#include "console/timed_pause.h"

#include "console/key_input.h"
#include "platform/console_api.h"

namespace veltrane {
namespace {

constexpr std::int32_t kPauseQuantumMs = 50;
// Pauses this short are slept through without looking at the keyboard.
constexpr std::int32_t kLongestUncheckedMs = 99;

}  // namespace

// Time is counted in sleep quanta rather than read from a clock, so time spent
// pumping adds to the total.
void timed_pause(std::int32_t ms) {
  if (ms == -1) {
    while (!key_hit_since_last_check()) Sleep(kPauseQuantumMs);
    return;
  }
  if (ms < -1) return;
  if (ms > kLongestUncheckedMs) {
    if (wait_unless_console_input(ms)) return;
    while (ms > kPauseQuantumMs) {
      if (key_hit_since_last_check()) return;
      Sleep(kPauseQuantumMs);
      ms -= kPauseQuantumMs;
    }
  }
  Sleep(static_cast<DWORD>(ms));
}

}  // namespace veltrane
