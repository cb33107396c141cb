// Signals for the terminal console. The handlers of SIGINT, SIGQUIT, SIGHUP,
// SIGTERM and SIGWINCH only write the signal's number as one byte to a pipe;
// the console reads the pipe in its polling path and acts there. Fatal
// signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) restore the terminal
// and then take the action they had before (the default one, unless a
// sanitizer had installed its own).
#pragma once

#include <vector>

namespace veltrane::terminal {

// Creates the pipe and installs the handlers; false when the pipe cannot be made.
bool install_signal_handlers();

// The pipe's read end, for poll(); -1 before install_signal_handlers().
int signal_pipe();

// Ends the process by the default action of `signal_number` (SIGINT, SIGQUIT,
// SIGHUP or SIGTERM), so that the parent sees a death by that signal: a shell
// loop stops at Ctrl+C. C streams are flushed first, as exit would; the
// terminal must already be restored.
[[noreturn]] void end_by_signal(int signal_number);

// The signals that arrived since the last call, oldest first. Never blocks.
std::vector<int> take_signals();

}  // namespace veltrane::terminal
