// veltrane: sets the pointer variable IDs in the patch block of an rpg_rt file
// dropped onto it (src/patcher/patch_block.h lists them).
#include <cstdlib>

#include "patcher/run_sequence.h"
#include "platform/console_start.h"
#include "platform/file_stream.h"
#include "platform/program_arguments.h"
#include "process/runtime_state.h"

// An exception that escapes ends the program with abort() and no words. The
// C++ library's own handler, which names the exception's type, brings in a
// demangler whose tables a static PIE must relocate at every start; the tool
// throws no exception of its own.
namespace __gnu_cxx {
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the library's name
[[noreturn]] void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int main(int argc, char** argv) {
  // Closed standard descriptors get the null device first, so that neither
  // the console nor the target can take their numbers.
  veltrane::platform::open_closed_standard_streams();
  veltrane::platform::start_console();
  veltrane::platform::program_arguments(&argc, &argv);
  veltrane::runtime_init();
  veltrane::store_arguments(argc, argv);
  veltrane::run_sequence();
}
