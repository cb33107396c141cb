#include "platform/host/control_handlers.h"

#include <algorithm>
#include <thread>

namespace veltrane::host {

bool ControlHandlers::set(PHANDLER_ROUTINE routine, bool add) {
  if (routine == nullptr) {
    ignore_ctrl_c_ = add;
    return true;
  }
  if (add) {
    routines_.push_back(routine);
    return true;
  }
  // Removes the most recent registration of the routine.
  const auto found = std::find(routines_.rbegin(), routines_.rend(), routine);
  if (found == routines_.rend()) return false;
  routines_.erase(std::next(found).base());
  return true;
}

std::vector<PHANDLER_ROUTINE> ControlHandlers::calling_order() const {
  return {routines_.rbegin(), routines_.rend()};
}

void ControlHandlers::clear() {
  routines_.clear();
  ignore_ctrl_c_ = false;
}

bool run_handler_chain(const std::vector<PHANDLER_ROUTINE>& routines, DWORD ctrl_type,
                       void (*after_chain)(void* context, DWORD ctrl_type, bool handled),
                       void* context) {
  bool handled = false;
  // Windows runs the chain on a thread it creates for the event; joining it
  // keeps tests deterministic.
  std::thread chain([&] {
    for (PHANDLER_ROUTINE routine : routines) {
      if (routine(ctrl_type) != FALSE) {
        handled = true;
        break;
      }
    }
    if (after_chain != nullptr) after_chain(context, ctrl_type, handled);
  });
  chain.join();
  return handled;
}

}  // namespace veltrane::host
