// The character a key produces on its own, for key translation.
#pragma once

#include "platform/console_api.h"

namespace veltrane::platform {

// The key's unshifted character in the current keyboard layout, as
// MapVirtualKeyA(virtual_key, MAPVK_VK_TO_CHAR) answers: letters uppercase, 0
// for a key without one. On Windows MapVirtualKeyA lives in user32.dll, which
// is loaded on the first call rather than at start-up: a run that never
// translates a key never pays for it. Should it be unobtainable, the keys whose
// virtual-key code is their character on every layout (letters, digits,
// Backspace, Tab, Enter, Escape, Space) answer that code and others 0.
UINT key_own_character(UINT virtual_key);

}  // namespace veltrane::platform
