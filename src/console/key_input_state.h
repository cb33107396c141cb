// The process-wide record of key input. key_input.cpp keeps it; others reach
// it through key_input_state() (key_input.h).
#pragma once

#include <cstdint>

#include "console/key_queue.h"
#include "platform/console_api.h"

namespace veltrane {

struct KeyInputState {
  bool handles_fetched;      // both standard handles have been fetched
  HANDLE input_handle;       // standard input, fetched once
  HANDLE output_handle;      // standard output, the screen buffer the writer draws on
  bool input_is_console;     // GetConsoleMode succeeded on the input handle at set-up
  DWORD found_input_mode;    // the console's input mode at set-up, put back at the end
  bool restores_input_mode;  // the tool changed that mode, and puts it back
  bool cursor_was_visible;   // the output's cursor showed when the handles were fetched
  bool handler_installed;    // the first pump has installed the control handler
  HANDLE control_event;      // set by the control handler after it queues a key; owned
  std::int32_t composition;  // Alt+keypad value being typed, 0 when none is pending
  KeyQueue queue;            // codes waiting to be read, and the key-hit flag
};

}  // namespace veltrane
