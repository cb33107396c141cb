// The console host's input buffer, control events, virtual clock and the
// Windows calls that reach them.
#include <algorithm>
#include <utility>

#include "platform/host/console_host.h"
#include "platform/host/host_handles.h"
#include "platform/host/key_map.h"
#include "platform/host/terminal_input.h"

namespace veltrane::host {

namespace {

constexpr DWORD kInputModeBits = 0x3FF;
constexpr DWORD kOutputModeBits = 0x1F;
constexpr DWORD kKeptWithoutExtendedFlags = ENABLE_INSERT_MODE | ENABLE_QUICK_EDIT_MODE;

bool ends_process_whatever_handled(DWORD ctrl_type) {
  return ctrl_type == CTRL_CLOSE_EVENT || ctrl_type == CTRL_LOGOFF_EVENT ||
         ctrl_type == CTRL_SHUTDOWN_EVENT;
}

}  // namespace

// ---- Input ----

void ConsoleHost::queue_records(const std::vector<INPUT_RECORD>& records) {
  std::lock_guard lock(mutex_);
  push_input(records);
}

// Keys enter the input buffer as the mode of that moment makes them: text,
// in virtual-terminal input mode.
void ConsoleHost::push_input(const std::vector<INPUT_RECORD>& records) {
  if ((input_mode_ & ENABLE_VIRTUAL_TERMINAL_INPUT) != 0) {
    input_.push(as_terminal_input(records));
  } else {
    input_.push(records);
  }
}

void ConsoleHost::queue_key(WORD virtual_key, char character, DWORD control_key_state) {
  queue_records(key_press(virtual_key, character, control_key_state));
}

void ConsoleHost::queue_text(const std::string& text) { queue_records(typed_text(text)); }

void ConsoleHost::schedule(ScheduledInput input) {
  {
    std::lock_guard lock(mutex_);
    if (input.at_ms > now_ms_) {
      input_.schedule(std::move(input));
      return;
    }
  }
  deliver(input);
}

void ConsoleHost::schedule_records(std::uint64_t at_ms, const std::vector<INPUT_RECORD>& records) {
  schedule({.at_ms = at_ms, .kind = ScheduledInput::Kind::records, .records = records});
}

void ConsoleHost::schedule_key(std::uint64_t at_ms, WORD virtual_key, char character,
                               DWORD control_key_state) {
  schedule_records(at_ms, key_press(virtual_key, character, control_key_state));
}

void ConsoleHost::schedule_text(std::uint64_t at_ms, const std::string& text) {
  schedule_records(at_ms, typed_text(text));
}

void ConsoleHost::press_ctrl_c() {
  {
    std::lock_guard lock(mutex_);
    if ((input_mode_ & ENABLE_PROCESSED_INPUT) == 0) {
      push_input(ctrl_c_records());
      return;
    }
  }
  raise_ctrl_event(CTRL_C_EVENT);
}

void ConsoleHost::schedule_ctrl_c(std::uint64_t at_ms) {
  schedule({.at_ms = at_ms, .kind = ScheduledInput::Kind::ctrl_c, .records = {}});
}

void ConsoleHost::raise_ctrl_event(DWORD ctrl_type) {
  std::vector<PHANDLER_ROUTINE> routines;
  {
    std::lock_guard lock(mutex_);
    if (ctrl_type == CTRL_C_EVENT && handlers_.ignores_ctrl_c()) return;
    routines = handlers_.calling_order();
  }
  run_handler_chain(routines, ctrl_type, &ConsoleHost::after_chain, this);
}

void ConsoleHost::schedule_ctrl_event(std::uint64_t at_ms, DWORD ctrl_type) {
  schedule({.at_ms = at_ms,
            .kind = ScheduledInput::Kind::ctrl_event,
            .records = {},
            .ctrl_type = ctrl_type});
}

std::size_t ConsoleHost::queued_input_count() const {
  std::lock_guard lock(mutex_);
  return input_.size();
}

std::size_t ConsoleHost::scheduled_input_count() const {
  std::lock_guard lock(mutex_);
  return input_.scheduled_count();
}

void ConsoleHost::deliver(const ScheduledInput& input) {
  switch (input.kind) {
    case ScheduledInput::Kind::records:
      queue_records(input.records);
      break;
    case ScheduledInput::Kind::ctrl_c:
      press_ctrl_c();
      break;
    case ScheduledInput::Kind::ctrl_event:
      raise_ctrl_event(input.ctrl_type);
      break;
  }
}

// ---- Control events and the default action ----

void ConsoleHost::after_chain(void* context, DWORD ctrl_type, bool handled) {
  if (!handled || ends_process_whatever_handled(ctrl_type)) {
    static_cast<ConsoleHost*>(context)->end_process(ctrl_type);
  }
}

void ConsoleHost::end_process(DWORD ctrl_type) {
  std::function<void(DWORD, DWORD)> callback;
  {
    std::lock_guard lock(mutex_);
    process_ended_ = true;
    process_end_ctrl_type_ = ctrl_type;
    callback = process_end_callback_;
  }
  if (callback) callback(kStatusControlCExit, ctrl_type);
}

void ConsoleHost::set_process_end_callback(std::function<void(DWORD, DWORD)> callback) {
  std::lock_guard lock(mutex_);
  process_end_callback_ = std::move(callback);
}

bool ConsoleHost::process_ended() const {
  std::lock_guard lock(mutex_);
  return process_ended_;
}

DWORD ConsoleHost::process_end_ctrl_type() const {
  std::lock_guard lock(mutex_);
  return process_end_ctrl_type_;
}

std::size_t ConsoleHost::registered_handler_count() const {
  std::lock_guard lock(mutex_);
  return handlers_.calling_order().size();
}

bool ConsoleHost::ignores_ctrl_c() const {
  std::lock_guard lock(mutex_);
  return handlers_.ignores_ctrl_c();
}

// ---- Clock ----

std::uint64_t ConsoleHost::now_ms() const {
  std::lock_guard lock(mutex_);
  return now_ms_;
}

void ConsoleHost::set_timer_tick(std::uint32_t microseconds) {
  std::lock_guard lock(mutex_);
  tick_us_ = microseconds;
}

void ConsoleHost::advance_clock(std::uint64_t ms) {
  std::uint64_t target = 0;
  {
    std::lock_guard lock(mutex_);
    target = now_ms_ + ms;
  }
  advance_to(target);
}

bool ConsoleHost::advance_to(std::uint64_t target, const std::function<bool()>& stop) {
  for (;;) {
    if (stop && stop()) return true;
    std::optional<ScheduledInput> due;
    {
      std::lock_guard lock(mutex_);
      due = input_.pop_due(target);
      if (!due) {
        now_ms_ = std::max(now_ms_, target);
        return false;
      }
      now_ms_ = std::max(now_ms_, due->at_ms);
    }
    // Control events run handlers, which must not find the host locked.
    deliver(*due);
  }
}

void ConsoleHost::set_wait_routine(std::function<void(DWORD)> routine) {
  std::lock_guard lock(mutex_);
  wait_routine_ = std::move(routine);
}

void ConsoleHost::wait(DWORD ms) {
  std::function<void(DWORD)> routine;
  {
    std::lock_guard lock(mutex_);
    routine = wait_routine_;
  }
  if (routine) routine(ms);
}

// ---- Handles, modes, input, control, time ----

HANDLE ConsoleHost::GetStdHandle(DWORD nStdHandle) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::GetStdHandle)) return INVALID_HANDLE_VALUE;
  switch (nStdHandle) {
    case STD_INPUT_HANDLE:
      return input_redirected_ ? kFileInputHandle : kConsoleInputHandle;
    case STD_OUTPUT_HANDLE:
    case STD_ERROR_HANDLE:
      return output_redirected_ ? kFileOutputHandle : kConsoleOutputHandle;
    default:
      fail(kErrorInvalidHandle);
      return INVALID_HANDLE_VALUE;
  }
}

BOOL ConsoleHost::GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::GetConsoleMode)) return FALSE;
  if (is_console_input(hConsoleHandle)) {
    if (lpMode == nullptr) return fail(kErrorInvalidParameter);
    *lpMode = input_mode_;
    return TRUE;
  }
  if (is_console_output(hConsoleHandle)) {
    if (lpMode == nullptr) return fail(kErrorInvalidParameter);
    *lpMode = screen_.output_mode;
    return TRUE;
  }
  return fail(kErrorInvalidHandle);
}

BOOL ConsoleHost::SetConsoleMode(HANDLE hConsoleHandle, DWORD dwMode) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::SetConsoleMode)) return FALSE;
  if (is_console_input(hConsoleHandle)) {
    // Insert and quick-edit mode change only together with the extended flag.
    if ((dwMode & ENABLE_EXTENDED_FLAGS) == 0) {
      const DWORD kept = kKeptWithoutExtendedFlags | ENABLE_EXTENDED_FLAGS;
      dwMode = (dwMode & ~kept) | (input_mode_ & kept);
    }
    // A Windows console takes the mode first and judges it after: an
    // unknown bit, or echo without line input, fails a call whose mode is
    // already in force.
    input_mode_ = dwMode;
    if ((dwMode & ~kInputModeBits) != 0) return fail(kErrorInvalidParameter);
    if ((dwMode & ENABLE_ECHO_INPUT) != 0 && (dwMode & ENABLE_LINE_INPUT) == 0) {
      return fail(kErrorInvalidParameter);
    }
    return TRUE;
  }
  if (is_console_output(hConsoleHandle)) {
    if ((dwMode & ~kOutputModeBits) != 0) return fail(kErrorInvalidParameter);
    screen_.output_mode = dwMode;
    return TRUE;
  }
  return fail(kErrorInvalidHandle);
}

BOOL ConsoleHost::PeekConsoleInputA(HANDLE hConsoleInput, INPUT_RECORD* lpBuffer, DWORD nLength,
                                    LPDWORD lpNumberOfEventsRead) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::PeekConsoleInputA)) return FALSE;
  if (!is_console_input(hConsoleInput)) return fail(kErrorInvalidHandle);
  if (lpNumberOfEventsRead == nullptr || (lpBuffer == nullptr && nLength > 0)) {
    return fail(kErrorInvalidParameter);
  }
  *lpNumberOfEventsRead = static_cast<DWORD>(input_.take(lpBuffer, nLength, false));
  return TRUE;
}

BOOL ConsoleHost::ReadConsoleInputA(HANDLE hConsoleInput, INPUT_RECORD* lpBuffer, DWORD nLength,
                                    LPDWORD lpNumberOfEventsRead) {
  {
    std::lock_guard lock(mutex_);
    if (enter(ApiCall::ReadConsoleInputA)) return FALSE;
    if (!is_console_input(hConsoleInput)) return fail(kErrorInvalidHandle);
    if (lpNumberOfEventsRead == nullptr || (lpBuffer == nullptr && nLength > 0)) {
      return fail(kErrorInvalidParameter);
    }
  }
  // Windows would block here; the host lets virtual time run to the next
  // scheduled input instead, and gives up when nothing more is scheduled.
  for (;;) {
    std::uint64_t next = 0;
    {
      std::lock_guard lock(mutex_);
      const auto scheduled = input_.next_time();
      if (input_.size() > 0 || nLength == 0 || !scheduled) {
        *lpNumberOfEventsRead = static_cast<DWORD>(input_.take(lpBuffer, nLength, true));
        return TRUE;
      }
      next = *scheduled;
    }
    advance_to(next);
  }
}

BOOL ConsoleHost::SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::SetConsoleCtrlHandler)) return FALSE;
  if (!handlers_.set(HandlerRoutine, Add != FALSE)) return fail(kErrorInvalidParameter);
  return TRUE;
}

UINT ConsoleHost::MapVirtualKeyA(UINT uCode, UINT uMapType) {
  std::lock_guard lock(mutex_);
  if (enter(ApiCall::MapVirtualKeyA)) return 0;
  return map_virtual_key(uCode, uMapType);
}

void ConsoleHost::Sleep(DWORD dwMilliseconds) {
  std::uint64_t start = 0;
  std::uint64_t target = 0;
  {
    std::lock_guard lock(mutex_);
    start = now_ms_;
    enter(ApiCall::Sleep);  // Sleep cannot fail
    target = now_ms_ + dwMilliseconds;
    if (tick_us_ != 0 && dwMilliseconds != 0) {
      // The first tick at or after the target, on the millisecond after it.
      const std::uint64_t ticks = (target * 1000 + tick_us_ - 1) / tick_us_;
      target = (ticks * tick_us_ + 999) / 1000;
    }
  }
  advance_to(target);
  wait(static_cast<DWORD>(now_ms() - start));
}

DWORD ConsoleHost::GetTickCount() {
  std::lock_guard lock(mutex_);
  enter(ApiCall::GetTickCount);  // GetTickCount cannot fail
  std::uint64_t ms = now_ms_;
  if (tick_us_ != 0) ms = ms * 1000 / tick_us_ * tick_us_ / 1000;
  return static_cast<DWORD>(ms);
}

bool ConsoleHost::wait_for_object(DWORD ms, const std::function<bool()>& signalled) {
  std::uint64_t start = 0;
  {
    std::lock_guard lock(mutex_);
    enter(ApiCall::WaitForSingleObject);  // fails only on a bad handle, which is the caller's
    start = now_ms_;
  }
  const bool done = advance_to(start + ms, signalled);
  wait(static_cast<DWORD>(now_ms() - start));
  return done;
}

BOOL ConsoleHost::Beep(DWORD dwFreq, DWORD dwDuration) {
  std::uint64_t target = 0;
  {
    std::lock_guard lock(mutex_);
    if (enter(ApiCall::Beep)) return FALSE;
    if (dwFreq < 37 || dwFreq > 32767) return fail(kErrorInvalidParameter);
    beeps_.push_back({now_ms_, dwFreq, dwDuration});
    target = now_ms_ + dwDuration;
  }
  advance_to(target);
  wait(dwDuration);
  return TRUE;
}

}  // namespace veltrane::host
