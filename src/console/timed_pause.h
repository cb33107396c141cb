// The timed pause: waiting a while for the user, ended early by a key.
#pragma once

#include <cstdint>

namespace veltrane {

// Waits `ms` milliseconds by the system's tick count, in sleeps of 50 ms.
// Above 99 ms it checks for a key hit before each 50 ms sleep while more than
// 50 ms remain and returns at the first hit, then sleeps the remainder without
// checking; 0 to 99 ms is one sleep without checking; -1 checks every 50 ms
// until a key is hit; below -1 returns at once. A key that ends the pause
// stays queued. Above 99 ms with standard input not a console, the whole time
// is one wait that the control handler's key ends (wait_unless_console_input).
void timed_pause(std::int32_t ms);

}  // namespace veltrane
