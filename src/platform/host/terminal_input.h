// Key events as a console in virtual-terminal input mode
// (ENABLE_VIRTUAL_TERMINAL_INPUT) hands them to a program: every key becomes
// the text a terminal sends for it, and every character of that text a
// key-down of its own.
#pragma once

#include <vector>

#include "platform/posix/windows_types.h"

namespace veltrane::host {

// Each key-down becomes its text: Backspace 0x7F, the editing keys their
// escape sequences (Left ESC [ D, Home ESC [ H, Delete ESC [ 3 ~, ...), any
// other key its character, after an ESC when Alt alone is held. Key-ups and
// keys that send nothing (a modifier alone) vanish. The text comes as an
// input method's commit does (input_method_text): virtual-key and scan code 0,
// no control state, no key-up. Events other than keys pass unchanged.
std::vector<INPUT_RECORD> as_terminal_input(const std::vector<INPUT_RECORD>& records);

}  // namespace veltrane::host
