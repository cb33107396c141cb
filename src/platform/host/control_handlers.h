// Console control handlers of the host: the registration list and the
// handler chain that a control event runs on a thread of its own.
#pragma once

#include <vector>

#include "platform/posix/windows_types.h"

namespace veltrane::host {

class ControlHandlers {
 public:
  // SetConsoleCtrlHandler. A null routine sets (add) or clears (remove) the
  // "ignore Ctrl+C" flag. Removing a routine that is not registered fails.
  // A routine registered twice is called twice and removed one at a time.
  bool set(PHANDLER_ROUTINE routine, bool add);
  bool ignores_ctrl_c() const { return ignore_ctrl_c_; }
  // The routines, in calling order: last registered first.
  std::vector<PHANDLER_ROUTINE> calling_order() const;
  void clear();

 private:
  std::vector<PHANDLER_ROUTINE> routines_;
  bool ignore_ctrl_c_ = false;
};

// Calls `routines` in order with `ctrl_type` on a new thread until one returns
// TRUE, then `after_chain` (may be null) on that same thread with whether one
// did, where Windows would run its default handler; joins the thread.
// Returns whether a routine returned TRUE.
bool run_handler_chain(const std::vector<PHANDLER_ROUTINE>& routines, DWORD ctrl_type,
                       void (*after_chain)(void* context, DWORD ctrl_type, bool handled),
                       void* context);

}  // namespace veltrane::host
