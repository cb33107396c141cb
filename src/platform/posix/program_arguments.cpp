#include "platform/program_arguments.h"

namespace veltrane::platform {

void program_arguments(int*, char***) {
  // The shell has expanded the command line already, and '*', '?' and '['
  // may stand in a file's own name here: the arguments are taken as they come.
}

}  // namespace veltrane::platform
