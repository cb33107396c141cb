// The orderly exit: registered handlers run in reverse order of registration,
// then the exit routine ends the process.
#pragma once

namespace veltrane {

using ExitHandler = void (*)();
using ExitRoutine = void (*)(int code);

// Registers a handler to run at exit, as atexit does. At most 16 handlers.
void process_at_exit(ExitHandler handler);

// Forgets every registered handler (for runtime_reset).
void forget_exit_handlers();

// Runs the registered handlers, last registered first, then the exit routine.
[[noreturn]] void process_exit(int code);

// The seam through which the process ends: the C library's exit in the
// product; a test installs a routine that unwinds back into the test instead.
// The routine must not return.
void set_exit_routine(ExitRoutine routine);

}  // namespace veltrane
