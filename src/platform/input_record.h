// Console input records as the key input takes them: one at a time, never
// waiting, a key event's character always one byte of the console's code page.
#pragma once

#include "platform/console_api.h"

namespace veltrane::platform {

// Takes the oldest input record off the console's input queue, if there is
// one; false when none is waiting or a call failed. A key event's character
// is its narrow form (narrow_form.h) as the one byte the console's input code
// page holds it in, or '?' when that code page has no single byte for it;
// the second half of a surrogate pair carries no character, so that any
// character typed is at most one byte, one cell on the screen.
bool take_input_record(HANDLE input, INPUT_RECORD* record);

// Whether `byte` opens a two-byte character in the console's input code page
// (as in 932, 936, 949 and 950), so that alone it is no character.
bool is_lead_byte(unsigned char byte);

}  // namespace veltrane::platform
