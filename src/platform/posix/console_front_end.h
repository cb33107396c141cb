// A real-time front end of the attached console host, such as the terminal
// one. The POSIX console API tells it when the screen may have changed, and
// lets it bring pending input in before input calls and draw before waits.
// Without one attached the host stays purely in memory, as in tests. It is
// attached with attach_console_front_end (console_api.h beside this header).
#pragma once

namespace veltrane::platform {

class ConsoleFrontEnd {
 public:
  // A call may have changed what the console shows.
  virtual void screen_changed() = 0;
  // Before PeekConsoleInputA (wait false) and ReadConsoleInputA (wait true:
  // returns once the host holds input, as a blocking read would wait).
  virtual void before_input(bool wait) = 0;
  // Before Sleep and Beep, which then wait in the host's wait routine.
  virtual void before_wait() = 0;

 protected:
  ~ConsoleFrontEnd() = default;
};

}  // namespace veltrane::platform
