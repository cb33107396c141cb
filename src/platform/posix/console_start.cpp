#include "platform/console_start.h"

#include <signal.h>

#include "platform/terminal/terminal_console.h"

namespace veltrane::platform {

void start_console() {
  // A reader that has gone makes console writes fail, as WriteFile fails on
  // Windows; the run goes on and still writes the target.
  signal(SIGPIPE, SIG_IGN);
  terminal::attach_terminal_console();
}

}  // namespace veltrane::platform
