// The floating-point mode the tool computes in (_controlfp on Windows).
#pragma once

namespace veltrane::platform {

// Sets the floating-point unit to 64-bit precision and round-to-nearest.
void set_floating_point_control();

}  // namespace veltrane::platform
