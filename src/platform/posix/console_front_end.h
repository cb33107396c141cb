// A real-time front end of the attached console host, such as the terminal
// one. The POSIX console API tells it when the screen may have changed, and
// lets it bring pending input in before input calls and draw before waits.
// Without one attached the host stays purely in memory, as in tests.
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

// Attaches `front_end` (nullptr detaches). With one attached, WriteFile on
// the host's redirected standard output writes to descriptor 1 instead of the
// host's memory. It must outlive its attachment.
void attach_console_front_end(ConsoleFrontEnd* front_end);

// Lets an attached front end draw before a wait on the host's clock, as Sleep
// and Beep do; for the other waits of the console API.
void before_console_wait();

}  // namespace veltrane::platform
