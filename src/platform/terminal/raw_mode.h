// The terminal's mode: raw input for the console, and the way back. Every
// exit path (normal exit, the console's default action for a control event,
// a fatal signal) ends in restore_terminal(), which is safe in a signal
// handler and does nothing the second time.
#pragma once

#include <string>

namespace veltrane::terminal {

// Saves the mode of terminal `fd` and switches it to what the console needs:
// bytes as typed (no line editing, no echo, CR kept as CR, no flow control,
// Ctrl+Z, Ctrl+V and Ctrl+O as keys) and reads that never wait, while Ctrl+C
// and Ctrl+\ still raise signals. False when fd is no terminal.
bool enter_raw_mode(int fd);

// Puts the saved mode back, if raw mode is on.
void leave_raw_mode();

// Bytes restore_terminal() writes to `fd` (at most 31 bytes; fd -1: none),
// e.g. to reset attributes and show the cursor.
void set_restore_output(int fd, const std::string& bytes);

// leave_raw_mode() and the restore bytes, once. Async-signal-safe.
void restore_terminal();

// Asks the terminal on out_fd where its cursor is (ESC[6n) and reads the
// answer from in_fd for at most timeout_ms. Bytes that came before the answer
// (keys typed ahead) are appended to `typeahead`. False when no answer came.
bool query_cursor(int in_fd, int out_fd, int timeout_ms, int* x, int* y, std::string* typeahead);

// Finds a cursor-position report (ESC [ row ; column R) in `bytes`; gives its
// 0-based position and where it starts and ends.
bool find_cursor_report(const std::string& bytes, int* x, int* y, std::size_t* start,
                        std::size_t* end);

// The size of terminal fd; false when it cannot be told.
bool terminal_size(int fd, int* columns, int* rows);

}  // namespace veltrane::terminal
