#include "platform/console_start.h"

namespace veltrane::platform {

// The system's console is already there.
void start_console() {}

}  // namespace veltrane::platform
