// Key input: the console handles, the input mode, the key queue fed from
// console key events and the control handler.
//
// Key codes: 0 to 255 are character codes; an extended key X is X*256+255;
// -1 means no key. Key text: empty for no key, 1 byte for a character code,
// 0xFF followed by X for an extended key.
#pragma once

#include <cstdint>
#include <string>

#include "platform/console_api.h"

namespace veltrane {

// The key codes that have a meaning of their own: the character and extended
// codes the line editor acts on, and the code the control handler queues.
enum KeyCode : std::int32_t {
  kKeyBackspace = 8,
  kKeyTab = 9,
  kKeyLineFeed = 10,  // Ctrl+Enter
  kKeyEnter = 13,
  kKeyEscape = 27,
  kKeyHome = 0x47FF,
  kKeyUp = 0x48FF,
  kKeyLeft = 0x4BFF,
  kKeyRight = 0x4DFF,
  kKeyEnd = 0x4FFF,
  kKeyDown = 0x50FF,
  kKeyDelete = 0x53FF,
  kKeyWindowClose = 0x6BFF,
};

// Not a key: returned where no code results, never queued.
inline constexpr std::int32_t kNoKey = -1;

// How long a wait for a key sleeps between two looks at the queue.
inline constexpr DWORD kKeyWaitMs = 25;

struct KeyInputState;  // key_input_state.h

// The process-wide record of key input.
KeyInputState& key_input_state();

// The standard handles, fetched once together. When input is a console, the
// first call also sets the input mode keys are read in: processed input on;
// virtual-terminal, line and echo input off; the other bits as found. The
// mode found goes back at exit and before Ctrl+C or Ctrl+Break ends the
// process.
HANDLE console_input_handle();
HANDLE console_output_handle();

// True when standard input is not a console (GetConsoleMode fails on it).
bool is_input_redirected();

// Drains every pending console input event and queues the key codes they
// yield. The first call installs the control handler. Never waits.
void pump_key_events();

// One key event as the pump handles it: returns the key code to queue, or
// kNoKey, and updates the Alt+keypad composition value (0 when none is
// pending). At most one code per event, whatever its repeat count; a pending
// composition is delivered as its low 8 bits ('?' when that byte opens a
// two-byte character in the console's input code page) when a key event other
// than an Alt-only one ends it without a code of its own.
std::int32_t key_event_code(const KEY_EVENT_RECORD& event, std::int32_t* composition);

// The console control handler: a close, logoff or shutdown notification
// queues the window-close key and is handled; every other notification,
// Ctrl+C and Ctrl+Break included, is left to the default action, which ends
// the process. Before that Ctrl+C and Ctrl+Break put back the input mode
// found at start, and show the cursor again when it showed at start: the
// editor may have hidden it for an echo.
BOOL WINAPI console_control_handler(DWORD control_type);

// Pumps, then tells whether the queue holds a key. Consumes nothing.
bool key_available();

// Pumps, takes the oldest key off the queue as key text (empty when none),
// then runs key_hit_since_last_check, so the flag is clear after every read.
std::string read_key_text();

// Pumps, returns whether a key was queued since the last check, and clears
// that flag. The queue is not touched.
bool key_hit_since_last_check();

// When standard input is not a console no key can arrive but the one the
// control handler queues: waits up to `ms` milliseconds in one wait that the
// handler ends, and returns true. Returns false at once, waiting not at all,
// when input is a console (or the handler's event could not be made).
// Like the timed pause, it returns early on a key hit and clears the hit flag.
bool wait_unless_console_input(std::int32_t ms);

}  // namespace veltrane
