// The console of the POSIX build on a real terminal: a console host whose
// buffer is the terminal's size, drawn on the terminal below where its cursor
// stood at start, fed with the terminal's keys as key events, and told of
// SIGINT, SIGQUIT, SIGHUP and SIGTERM as Ctrl+C, Ctrl+Break, close and
// shutdown events.
//
// Choices where a terminal differs from a console window:
// - The host's buffer and window keep their start-up size for the whole run.
//   After a resize the terminal is cleared and redrawn, clipped to its new
//   size (a shorter terminal shows the rows around the cursor).
// - Sleep and Beep take real time; Beep rings the terminal's bell.
// - A process ended by a control event ends by the default action of the
//   signal that raised it, as any program killed by it would: a shell shows
//   130 for Ctrl+C (SIGINT), 131 for Ctrl+Break (SIGQUIT), 129 for close
//   (SIGHUP), 143 for shutdown (SIGTERM), and a shell loop stops at Ctrl+C.
// - Whatever ends the process, the terminal's mode, attributes and cursor
//   visibility are restored first.
// - The console's input mode starts as a Windows console's does (0x1F7), or
//   as the environment variable VELTRANE_INPUT_MODE gives it (a number in C
//   form, such as 0x3F7): a Windows console's mode is whatever the program
//   before left, and the tests start runs in such modes.
#pragma once

namespace veltrane::terminal {

// Attaches the terminal console when standard output, standard input or both
// are terminals: the one that is not reads as redirected. False, and nothing
// attached, when neither is.
bool attach_terminal_console();

}  // namespace veltrane::terminal
