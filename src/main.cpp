// veltrane: sets the item and event pointer variable IDs in the patch block of
// an rpg_rt file dropped onto it.
#include "patcher/run_sequence.h"
#include "platform/console_start.h"
#include "platform/file_stream.h"
#include "platform/program_arguments.h"
#include "process/runtime_state.h"

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
