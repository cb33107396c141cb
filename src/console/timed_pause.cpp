#include "console/timed_pause.h"

#include "console/key_input.h"
#include "platform/console_api.h"

namespace veltrane {
namespace {

constexpr DWORD kPauseQuantumMs = 50;
// Pauses this short are slept through without looking at the keyboard.
constexpr std::int32_t kLongestUncheckedMs = 99;

}  // namespace

// The time is read from the tick count, not counted in sleeps: a Sleep lasts
// until a timer tick, on Windows 15.6 ms apart by default, so forty 50 ms
// sleeps would take anywhere from 1.9 to 2.5 s there.
void timed_pause(std::int32_t ms) {
  if (ms == -1) {
    while (!key_hit_since_last_check()) Sleep(kPauseQuantumMs);
    return;
  }
  if (ms < -1) return;
  if (ms <= kLongestUncheckedMs) {
    Sleep(static_cast<DWORD>(ms));
    return;
  }
  if (wait_unless_console_input(ms)) return;
  const DWORD length = static_cast<DWORD>(ms);
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;  // right across the count's wrap
    if (elapsed >= length) return;
    if (length - elapsed <= kPauseQuantumMs) {
      Sleep(length - elapsed);
      return;
    }
    if (key_hit_since_last_check()) return;
    Sleep(kPauseQuantumMs);
  }
}

}  // namespace veltrane
