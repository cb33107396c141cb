#include "process/command_tail.h"

#include "process/runtime_state.h"

namespace veltrane {

std::string command_tail() {
  const RuntimeState& state = runtime_state();
  std::string tail;
  for (int i = 1; i < state.argument_count; ++i) {
    if (i > 1) tail += ' ';
    tail += state.argument_vector[i];
  }
  return tail;
}

std::string command_argument(int index) {
  const RuntimeState& state = runtime_state();
  if (index < 0 || index >= state.argument_count) return {};
  return state.argument_vector[index];
}

}  // namespace veltrane
