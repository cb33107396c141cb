#include "platform/float_mode.h"

#include <float.h>

namespace veltrane::platform {

void set_floating_point_control() { _controlfp(0, 0x30300); }

}  // namespace veltrane::platform
