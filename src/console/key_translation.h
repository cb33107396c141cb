// Key translation: one console key event to one key code, through the main
// table (by scan code, for keys that carry their own character or none) and
// the enhanced-key table (for the dedicated cursor cluster, keypad / and
// keypad Enter when they carry no character).
#pragma once

#include <cstdint>

#include "console/key_input.h"
#include "platform/console_api.h"

namespace veltrane {

// The fields of a key event that translation looks at.
struct KeyFacts {
  unsigned char character;  // the event's 8-bit character, 0 for none
  WORD scan_code;
  WORD virtual_key;
  DWORD control_state;
};

// True when the event holds Alt and neither Ctrl nor Shift.
bool is_alt_only(DWORD control_state) noexcept;

// Translates with the key's own unshifted character supplied by the caller
// (what MapVirtualKeyA(virtual_key, MAPVK_VK_TO_CHAR) answers). Returns a key
// code, or kNoKey when the event yields nothing. The column is chosen Alt
// before Ctrl before Shift before plain. An extended entry takes effect only
// when the event's character is the key's own character in either letter case
// (0 for keys without one); otherwise the event's own character is the result.
std::int32_t translate_key(const KeyFacts& key, UINT own_character) noexcept;

// The same for a console key event; asks the platform for the key's own
// character (platform::key_own_character) when the main table is consulted.
std::int32_t translate_key_event(const KEY_EVENT_RECORD& event);

}  // namespace veltrane
