#include "platform/key_character.h"

namespace veltrane::platform {

// The console host answers from its keyboard layout.
UINT key_own_character(UINT virtual_key) { return MapVirtualKeyA(virtual_key, MAPVK_VK_TO_CHAR); }

}  // namespace veltrane::platform
