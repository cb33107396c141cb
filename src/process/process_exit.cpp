#include "process/process_exit.h"

#include <cstdlib>

namespace veltrane {
namespace {

constexpr int kMaxHandlers = 16;
ExitHandler handlers[kMaxHandlers] = {};
int handler_count = 0;

void c_library_exit(int code) { std::exit(code); }
ExitRoutine exit_routine = c_library_exit;

}  // namespace

void process_at_exit(ExitHandler handler) {
  if (handler_count < kMaxHandlers) handlers[handler_count++] = handler;
}

void forget_exit_handlers() { handler_count = 0; }

void process_exit(int code) {
  while (handler_count > 0) {
    // Taken off the list before it runs, so that a handler runs only once even
    // if it ends the process itself.
    const ExitHandler handler = handlers[--handler_count];
    handler();
  }
  exit_routine(code);
  std::abort();  // an exit routine that returns breaks the contract
}

void set_exit_routine(ExitRoutine routine) {
  exit_routine = routine != nullptr ? routine : c_library_exit;
}

}  // namespace veltrane
