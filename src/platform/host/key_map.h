// The US keyboard layout: virtual-key codes, set-1 scan codes and unshifted
// characters, MapVirtualKeyA over them, and builders of the key event records
// a Windows console delivers for a key press or a typed text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/posix/windows_types.h"

namespace veltrane::host {

struct KeySpec {
  WORD virtual_key;
  WORD scan_code;  // set-1 make code, without the E0 prefix
  char character;  // unshifted character, 0 when the key has none
  bool enhanced;   // E0-prefixed key (or NumLock): ENHANCED_KEY in its events
};

// The key with this virtual-key code, if the layout has one. Keys sharing a
// code (Enter and keypad Enter) give the main one.
std::optional<KeySpec> key_for_virtual_key(WORD virtual_key);
// The key with this scan code; `extended` selects the E0-prefixed one.
std::optional<KeySpec> key_for_scan_code(WORD scan_code, bool extended);

// MapVirtualKeyA for the US layout: MAPVK_VK_TO_VSC (0), MAPVK_VSC_TO_VK (1),
// MAPVK_VK_TO_CHAR (2: unshifted character, letters uppercase, 0 for none),
// MAPVK_VSC_TO_VK_EX (3) and MAPVK_VK_TO_VSC_EX (4). 0 when there is no answer.
UINT map_virtual_key(UINT code, UINT map_type);

// One key event record: scan code and ENHANCED_KEY from the layout.
INPUT_RECORD key_event(bool key_down, WORD virtual_key, char character, DWORD control_key_state);
// Key down then key up of one key.
std::vector<INPUT_RECORD> key_press(WORD virtual_key, char character, DWORD control_key_state = 0);
// The records for typing `text` on a US keyboard: each byte as its key's down
// and up, wrapped in Shift down/up where the character needs Shift. CR, TAB,
// BS and ESC are their keys; bytes the layout lacks come as records with
// virtual-key and scan code 0 and the byte as character.
std::vector<INPUT_RECORD> typed_text(const std::string& text);
// What an input method's commit of `text` gives in a console window: one
// key-down per character (a byte of the console's code page) with virtual-key
// and scan code 0 and no control state, and no key-up.
std::vector<INPUT_RECORD> input_method_text(const std::string& text);
// Ctrl+C as keyboard input (what processed input off delivers): Ctrl down,
// C down and up with character 3, Ctrl up.
std::vector<INPUT_RECORD> ctrl_c_records();

}  // namespace veltrane::host
