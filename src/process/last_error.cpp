#include "process/last_error.h"

#include "process/runtime_state.h"

namespace veltrane {

std::int32_t last_error() { return runtime_state().last_error; }

std::int32_t set_last_error(std::int32_t code) {
  runtime_state().last_error = code;
  return code;
}

}  // namespace veltrane
