#include "console/key_input.h"

#include "console/key_input_state.h"
#include "console/key_translation.h"
#include "platform/input_record.h"
#include "process/process_exit.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

KeyInputState state{};

void clear_key_input_state() {
  state.handles_fetched = false;
  state.input_handle = nullptr;
  state.output_handle = nullptr;
  state.input_is_console = false;
  state.found_input_mode = 0;
  state.restores_input_mode = false;
  state.cursor_was_visible = false;
  state.handler_installed = false;
  if (state.control_event != nullptr) CloseHandle(state.control_event);
  state.control_event = nullptr;
  state.composition = 0;
  key_queue_clear(state.queue);
}

const StatePart key_input_part{clear_key_input_state};

// The input mode the tool reads keys in, made from the one found. The input
// mode belongs to the console, shared by every program attached to it, and
// programs are known to leave virtual-terminal input on; with it every key
// arrives as text (Backspace as the character 0x7F, Left as ESC [ D) that the
// editor would take for typed characters. So the mode found is not kept as
// it is: virtual-terminal, line and echo input, none of which the tool uses,
// go off, and processed input goes on, which makes Ctrl+C a control
// notification instead of a key. The other bits stay, and the mode found goes
// back at every end (restore_input_mode).
DWORD reading_mode(DWORD found) {
  return (found | ENABLE_PROCESSED_INPUT) &
         ~static_cast<DWORD>(ENABLE_VIRTUAL_TERMINAL_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
}

// Gives the console back the input mode found at start: at exit, and from the
// control handler before Ctrl+C or Ctrl+Break ends the process. A close,
// logoff or shutdown takes the console with it.
void restore_input_mode() {
  if (state.restores_input_mode) SetConsoleMode(state.input_handle, state.found_input_mode);
}

void fetch_handles() {
  if (state.handles_fetched) return;
  state.handles_fetched = true;
  state.input_handle = GetStdHandle(STD_INPUT_HANDLE);
  state.output_handle = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (state.input_handle != nullptr && GetConsoleMode(state.input_handle, &mode) != 0) {
    state.input_is_console = true;
    state.found_input_mode = mode;
    state.restores_input_mode = reading_mode(mode) != mode;
    if (state.restores_input_mode) process_at_exit(restore_input_mode);
    // The result is not looked at: a console that refuses a bit another
    // program left in the mode has taken the mode all the same.
    SetConsoleMode(state.input_handle, reading_mode(mode));
  }
  CONSOLE_CURSOR_INFO cursor{};
  state.cursor_was_visible =
      GetConsoleCursorInfo(state.output_handle, &cursor) != 0 && cursor.bVisible != 0;
}

// Registered with the exit path by the first pump.
void remove_control_handler() {
  if (state.handler_installed) SetConsoleCtrlHandler(console_control_handler, FALSE);
}

void install_control_handler_once() {
  if (state.handler_installed) return;
  state.handler_installed = true;
  process_at_exit(remove_control_handler);
  state.control_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  SetConsoleCtrlHandler(console_control_handler, TRUE);
}

bool is_keypad_digit(WORD virtual_key) {
  return virtual_key >= VK_NUMPAD0 && virtual_key <= VK_NUMPAD9;
}

// Delivers a pending composition as a character code: its low 8 bits, a byte
// of the console's input code page; '?' when that byte opens a two-byte
// character there, as for any character without a one-byte form: alone it
// would be half a character in the line.
std::int32_t take_composition(std::int32_t* composition) {
  const std::int32_t code = *composition & 0xFF;
  *composition = 0;
  return platform::is_lead_byte(static_cast<unsigned char>(code)) ? '?' : code;
}

}  // namespace

KeyInputState& key_input_state() { return state; }

HANDLE console_input_handle() {
  fetch_handles();
  return state.input_handle;
}

HANDLE console_output_handle() {
  fetch_handles();
  return state.output_handle;
}

bool is_input_redirected() {
  DWORD mode = 0;
  return GetConsoleMode(console_input_handle(), &mode) == 0;
}

std::int32_t key_event_code(const KEY_EVENT_RECORD& event, std::int32_t* composition) {
  const bool alt_only = is_alt_only(event.dwControlKeyState);
  if (event.bKeyDown == 0) {
    // The release of Alt ends an Alt+keypad sequence.
    if (!alt_only && *composition != 0) return take_composition(composition);
    return kNoKey;
  }
  if (event.wRepeatCount == 0) return kNoKey;
  const std::int32_t code = translate_key_event(event);
  if (alt_only && is_keypad_digit(event.wVirtualKeyCode)) {
    // Computed unsigned: a long digit run wraps instead of overflowing, and
    // only the low 8 bits are ever delivered.
    const auto digit = static_cast<std::uint32_t>(event.wVirtualKeyCode - VK_NUMPAD0);
    *composition =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(*composition) * 10u + digit);
    return code;
  }
  if (code != kNoKey) {
    *composition = 0;
    return code;
  }
  if (!alt_only && *composition != 0) return take_composition(composition);
  return kNoKey;
}

void pump_key_events() {
  install_control_handler_once();
  const HANDLE input = console_input_handle();
  // A handle that is not a console has no events to peek at, and never will:
  // the handle is fixed for the process. This keeps the pause's polls cheap
  // when standard input is redirected.
  if (!state.input_is_console) return;
  INPUT_RECORD record{};
  while (platform::take_input_record(input, &record)) {
    if (record.EventType != KEY_EVENT) continue;
    const std::int32_t code = key_event_code(record.Event.KeyEvent, &state.composition);
    if (code != kNoKey) key_queue_push(state.queue, code);
  }
}

BOOL WINAPI console_control_handler(DWORD control_type) {
  switch (control_type) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      key_queue_push(state.queue, kKeyWindowClose);
      if (state.control_event != nullptr) SetEvent(state.control_event);
      return TRUE;
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // The default action ends the process, maybe while the line editor has
      // the cursor hidden for an echo; a console keeps that state after the
      // process, so the cursor is shown again first when it showed at start,
      // and the input mode found is put back.
      restore_input_mode();
      if (state.cursor_was_visible) {
        CONSOLE_CURSOR_INFO cursor{};
        if (GetConsoleCursorInfo(state.output_handle, &cursor) != 0) {
          cursor.bVisible = TRUE;
          SetConsoleCursorInfo(state.output_handle, &cursor);
        }
      }
      return FALSE;
    default:
      return FALSE;
  }
}

bool key_available() {
  pump_key_events();
  return !key_queue_is_empty(state.queue);
}

bool key_hit_since_last_check() {
  pump_key_events();
  return key_queue_take_hit(state.queue);
}

bool wait_unless_console_input(std::int32_t ms) {
  pump_key_events();
  if (state.input_is_console || state.control_event == nullptr) return false;
  // A signal left from before this wait belongs to a key already checked for.
  WaitForSingleObject(state.control_event, 0);
  if (key_queue_take_hit(state.queue)) return true;
  if (WaitForSingleObject(state.control_event, static_cast<DWORD>(ms)) == WAIT_OBJECT_0) {
    key_queue_take_hit(state.queue);
  }
  return true;
}

std::string read_key_text() {
  pump_key_events();
  std::int32_t code = kNoKey;
  if (!key_queue_pop(state.queue, &code)) return {};
  key_hit_since_last_check();
  // At most two bytes: held inline by std::string, so this never allocates.
  if (code >= 0 && code <= 255) return std::string(1, static_cast<char>(code));
  return std::string{'\xFF', static_cast<char>((code >> 8) & 0xFF)};
}

}  // namespace veltrane
