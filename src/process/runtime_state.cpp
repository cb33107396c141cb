#include "process/runtime_state.h"

#include "platform/float_mode.h"
#include "process/process_exit.h"

namespace veltrane {
namespace {

RuntimeState state{};
// Head of the parts list; constant-initialised, so parts may link themselves
// in from static constructors in any order.
StatePart* parts = nullptr;

}  // namespace

RuntimeState& runtime_state() { return state; }

StatePart::StatePart(void (*clear)(), void (*shutdown)())
    : clear_(clear), shutdown_(shutdown), next_(parts) {
  parts = this;
}

void runtime_init() {
  if (++state.init_counter != 1) return;
  state.standard_input = stdin;
  platform::set_floating_point_control();
  process_at_exit(runtime_shutdown);
}

void runtime_ensure_initialised() {
  if (state.init_counter == 0) runtime_init();
}

void runtime_shutdown() {
  if (--state.init_counter != 0) return;
  for (StatePart* part = parts; part != nullptr; part = part->next_) {
    if (part->shutdown_ != nullptr) part->shutdown_();
  }
}

void store_arguments(int argument_count, char** argument_vector) {
  state.argument_count = argument_count;
  state.argument_vector = argument_vector;
}

void runtime_reset() {
  state = RuntimeState{};
  for (StatePart* part = parts; part != nullptr; part = part->next_) {
    if (part->clear_ != nullptr) part->clear_();
  }
  forget_exit_handlers();
  runtime_init();
}

}  // namespace veltrane
