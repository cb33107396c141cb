// veltrane: sets the item and event pointer variable IDs in the patch block of
// an rpg_rt file dropped onto it.
#include "patcher/run_sequence.h"
#include "platform/crt_extras.h"
#include "process/runtime_state.h"

int main(int argc, char** argv) {
  veltrane::platform::open_closed_standard_streams();
  veltrane::platform::expand_wildcards(&argc, &argv);
  veltrane::runtime_init();
  veltrane::store_arguments(argc, argv);
  veltrane::run_sequence();
}
