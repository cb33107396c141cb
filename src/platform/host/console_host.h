// The console host: an in-memory model of a Windows console behind the
// Windows-named console functions of the POSIX build. It has a screen buffer,
// an input buffer with modes, control handlers run on a thread of their own, a
// virtual clock for Sleep and a sink for Beep, standard handles that can be
// made "not a console", a call log and failure injection for tests.
//
// Thread safety: every member may be called from any thread. Control handlers
// and the unhandled-event callback run with no lock held.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/api_call.h"
#include "platform/host/control_handlers.h"
#include "platform/host/input_queue.h"
#include "platform/host/screen_buffer.h"
#include "platform/posix/windows_types.h"

namespace veltrane::host {

// Windows error numbers the host reports through last_error().
inline constexpr DWORD kErrorInvalidHandle = 6;
inline constexpr DWORD kErrorGenFailure = 31;
inline constexpr DWORD kErrorInvalidParameter = 87;

// The exit code of a process ended by an unhandled control event.
inline constexpr DWORD kStatusControlCExit = 0xC000013A;

// One Beep call: when it started, its frequency and duration.
struct BeepRecord {
  std::uint64_t at_ms;
  DWORD frequency;
  DWORD duration_ms;
  bool operator==(const BeepRecord&) const = default;
};

class ConsoleHost {
 public:
  // A console whose buffer and window are columns x rows (default 80 x 25).
  ConsoleHost();
  ConsoleHost(SHORT columns, SHORT rows);
  ConsoleHost(const ConsoleHost&) = delete;
  ConsoleHost& operator=(const ConsoleHost&) = delete;

  // ---- Set-up (not logged) ----
  // Buffer size keeps the contents at the top-left and clamps cursor and
  // window. The largest window bounds SetConsoleWindowInfo (default: the
  // initial size).
  void set_buffer_size(SHORT columns, SHORT rows);
  void set_largest_window_size(SHORT columns, SHORT rows);
  // Same rules as SetConsoleWindowInfo (absolute); false when refused.
  bool set_window(SMALL_RECT window);
  // Places the cursor without moving the window; false outside the buffer.
  bool set_cursor(SHORT x, SHORT y);
  void set_attribute(WORD attributes);
  void set_cursor_info(DWORD size, bool visible);
  void set_input_mode(DWORD mode);  // stored as given, no validation
  void set_output_mode(DWORD mode);
  // Standard input / output "not a console": GetStdHandle then gives a file
  // handle on which console calls fail with error 6; WriteFile on the output
  // one appends to redirected_output(). Set before the handles are fetched.
  void set_input_redirected(bool redirected);
  void set_output_redirected(bool redirected);
  // Redirected WriteFile takes at most this many bytes per call (0: no limit).
  void set_redirected_write_limit(DWORD bytes);
  // A pseudo-console, whose buffer is the window (as a new host's is), drawn
  // on a terminal with a history: it keeps each row that leaves the
  // buffer's top by a line feed (WriteFile's teletype). A
  // ScrollConsoleScreenBuffer reaches the terminal as a redraw, so the rows
  // it moves out are lost. Read back with terminal_history().
  void set_pseudo_console(bool on);
  // Writes text at (x, y) in attribute `attributes`, clipped to the row.
  void put_text(SHORT x, SHORT y, const std::string& text, WORD attributes = 0x07);

  // ---- Input ----
  // Key records enter as given, or while the input mode holds
  // ENABLE_VIRTUAL_TERMINAL_INPUT as the text a terminal sends for the keys
  // (terminal_input.h); so do the builders' below.
  void queue_records(const std::vector<INPUT_RECORD>& records);
  void queue_key(WORD virtual_key, char character, DWORD control_key_state = 0);
  void queue_text(const std::string& text);
  // Delivered when the virtual clock reaches at_ms (at once if it already has).
  void schedule_records(std::uint64_t at_ms, const std::vector<INPUT_RECORD>& records);
  void schedule_key(std::uint64_t at_ms, WORD virtual_key, char character,
                    DWORD control_key_state = 0);
  void schedule_text(std::uint64_t at_ms, const std::string& text);
  // The user presses Ctrl+C: with ENABLE_PROCESSED_INPUT (looked at when the
  // press happens) a CTRL_C_EVENT is raised, else ctrl_c_records() are queued.
  void press_ctrl_c();
  void schedule_ctrl_c(std::uint64_t at_ms);
  // Raises a control event: unless it is Ctrl+C while Ctrl+C is ignored, the
  // handlers run last registered first on a new thread, joined before this
  // returns. If none returns TRUE, or for close, logoff and shutdown whatever
  // they return, the default action ends the process: see process_ended().
  void raise_ctrl_event(DWORD ctrl_type);
  void schedule_ctrl_event(std::uint64_t at_ms, DWORD ctrl_type);
  std::size_t queued_input_count() const;
  std::size_t scheduled_input_count() const;

  // Called on the handler thread when the default action ends the process;
  // the terminal front end ends the real process there.
  void set_process_end_callback(std::function<void(DWORD exit_code, DWORD ctrl_type)> callback);
  bool process_ended() const;
  DWORD process_end_ctrl_type() const;
  std::size_t registered_handler_count() const;
  bool ignores_ctrl_c() const;

  // ---- Clock ----
  std::uint64_t now_ms() const;
  // The system's timer tick in microseconds, as on Windows (15625 by
  // default there): Sleep ends on a tick and GetTickCount steps by ticks.
  // 0, the default, ends Sleep on the millisecond asked for.
  void set_timer_tick(std::uint32_t microseconds);
  // Advances the virtual clock (delivering scheduled input), as Sleep does.
  void advance_clock(std::uint64_t ms);
  // Called after Sleep and Beep have advanced the clock, with no lock held,
  // e.g. to wait in real time; none by default.
  void set_wait_routine(std::function<void(DWORD ms)> routine);
  // WaitForSingleObject on an object the caller tests with `signalled`:
  // advances the clock by up to `ms`, delivering scheduled input (whose
  // control handlers may signal it), and stops as soon as it is signalled.
  // Returns whether it was; the wait routine gets the time spent.
  bool wait_for_object(DWORD ms, const std::function<bool()>& signalled);

  // ---- Read back ----
  COORD buffer_size() const;
  SMALL_RECT window() const;
  COORD cursor() const;
  CONSOLE_CURSOR_INFO cursor_info() const;
  WORD attribute() const;
  DWORD input_mode() const;
  DWORD output_mode() const;
  Cell cell(SHORT x, SHORT y) const;
  std::string row_text(SHORT y) const;  // trailing blanks removed
  // A pseudo-console's terminal history, oldest first, as row_text gives rows.
  std::vector<std::string> terminal_history() const;
  std::vector<BeepRecord> beeps() const;
  std::size_t bell_count() const;  // BEL bytes written through the console teletype
  std::string redirected_output() const;
  DWORD last_error() const;  // of the last failing API call

  // ---- Call log and failure injection ----
  std::vector<ApiCall> call_log() const;
  std::size_t call_count(ApiCall call) const;
  void clear_call_log();
  // The next `count` calls of `call` fail with `error` and change nothing.
  void fail_next(ApiCall call, std::size_t count = 1, DWORD error = kErrorGenFailure);

  // ---- The console API (what the POSIX build's Windows names call) ----
  HANDLE GetStdHandle(DWORD nStdHandle);
  BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode);
  // An input mode with an unknown bit, or with echo but not line input, fails
  // (error 87) after it has taken effect, as on Windows.
  BOOL SetConsoleMode(HANDLE hConsoleHandle, DWORD dwMode);
  BOOL PeekConsoleInputA(HANDLE hConsoleInput, INPUT_RECORD* lpBuffer, DWORD nLength,
                         LPDWORD lpNumberOfEventsRead);
  // Removes records. On an empty queue it does not block: it advances the
  // virtual clock to the next scheduled input until a record arrives, and
  // returns TRUE with 0 records when nothing more is scheduled.
  BOOL ReadConsoleInputA(HANDLE hConsoleInput, INPUT_RECORD* lpBuffer, DWORD nLength,
                         LPDWORD lpNumberOfEventsRead);
  BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add);
  UINT MapVirtualKeyA(UINT uCode, UINT uMapType);
  BOOL GetConsoleScreenBufferInfo(HANDLE hConsoleOutput,
                                  CONSOLE_SCREEN_BUFFER_INFO* lpConsoleScreenBufferInfo);
  BOOL WriteConsoleOutputA(HANDLE hConsoleOutput, const CHAR_INFO* lpBuffer, COORD dwBufferSize,
                           COORD dwBufferCoord, SMALL_RECT* lpWriteRegion);
  BOOL ScrollConsoleScreenBufferA(HANDLE hConsoleOutput, const SMALL_RECT* lpScrollRectangle,
                                  const SMALL_RECT* lpClipRectangle, COORD dwDestinationOrigin,
                                  const CHAR_INFO* lpFill);
  BOOL FillConsoleOutputAttribute(HANDLE hConsoleOutput, WORD wAttribute, DWORD nLength,
                                  COORD dwWriteCoord, LPDWORD lpNumberOfAttrsWritten);
  BOOL FillConsoleOutputCharacterA(HANDLE hConsoleOutput, CHAR cCharacter, DWORD nLength,
                                   COORD dwWriteCoord, LPDWORD lpNumberOfCharsWritten);
  BOOL SetConsoleCursorPosition(HANDLE hConsoleOutput, COORD dwCursorPosition);
  BOOL SetConsoleWindowInfo(HANDLE hConsoleOutput, BOOL bAbsolute,
                            const SMALL_RECT* lpConsoleWindow);
  BOOL GetConsoleCursorInfo(HANDLE hConsoleOutput, CONSOLE_CURSOR_INFO* lpConsoleCursorInfo);
  BOOL SetConsoleCursorInfo(HANDLE hConsoleOutput, const CONSOLE_CURSOR_INFO* lpConsoleCursorInfo);
  BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
  // Advances the virtual clock, with a timer tick to the first tick at or
  // after the time asked for; takes no real time.
  void Sleep(DWORD dwMilliseconds);
  // The virtual clock in milliseconds, with a timer tick that of the last
  // tick passed.
  DWORD GetTickCount();
  // Records the tone and advances the virtual clock by its duration. Fails
  // (error 87) for frequencies outside 37..32767 Hz.
  BOOL Beep(DWORD dwFreq, DWORD dwDuration);

 private:
  // Logs the call and consumes an injected failure; true when it must fail.
  bool enter(ApiCall call);
  BOOL fail(DWORD error);
  bool is_console_input(HANDLE handle) const;
  bool is_console_output(HANDLE handle) const;
  void schedule(ScheduledInput input);
  void push_input(const std::vector<INPUT_RECORD>& records);  // called locked
  // Advances the clock to `target`, delivering due input, or only until
  // `stop` (if given) holds; returns whether it stopped early. Called unlocked.
  bool advance_to(std::uint64_t target, const std::function<bool()>& stop = {});
  // Runs one delivered input; called unlocked.
  void deliver(const ScheduledInput& input);
  static void after_chain(void* context, DWORD ctrl_type, bool handled);
  void end_process(DWORD ctrl_type);
  void wait(DWORD ms);

  mutable std::mutex mutex_;
  ScreenBuffer screen_;
  InputQueue input_;
  ControlHandlers handlers_;
  DWORD input_mode_ = 0x1F7;
  bool input_redirected_ = false;
  bool output_redirected_ = false;
  DWORD redirected_write_limit_ = 0;
  std::string redirected_output_;
  std::uint64_t now_ms_ = 0;
  std::uint32_t tick_us_ = 0;
  std::vector<BeepRecord> beeps_;
  std::size_t bells_ = 0;
  DWORD last_error_ = 0;
  std::vector<ApiCall> call_log_;
  std::array<std::size_t, kApiCallCount> pending_failures_{};
  std::array<DWORD, kApiCallCount> failure_errors_{};
  std::function<void(DWORD, DWORD)> process_end_callback_;
  std::function<void(DWORD)> wait_routine_;
  bool process_ended_ = false;
  DWORD process_end_ctrl_type_ = 0;
};

}  // namespace veltrane::host
