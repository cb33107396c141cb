#include "platform/float_mode.h"

#include <fenv.h>

namespace veltrane::platform {

void set_floating_point_control() {
  // x86-64 doubles are computed in SSE registers at double precision; only the
  // rounding mode needs setting.
  fesetround(FE_TONEAREST);
}

}  // namespace veltrane::platform
