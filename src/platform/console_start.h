// Connects the console API to the process's console before the tool makes
// its first console call. On Windows the system's console needs nothing; on
// POSIX a terminal on standard output or input gets the terminal console.
#pragma once

namespace veltrane::platform {

void start_console();

}  // namespace veltrane::platform
