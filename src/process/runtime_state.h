// The runtime state: one process-wide record, zero when the process starts.
//
// The process layer holds the argument vector, the last error number and the
// initialisation counter. The layers above attach their own process-wide
// records (file slots, console state, key queue, input context) as parts: each
// part is static storage, so it starts zeroed without a clearing pass that
// would touch every page of the larger records at start-up; runtime_reset
// clears it with the rest, and its shutdown routine runs when the runtime
// shuts down. Tests call runtime_reset between cases.
#pragma once

#include <cstdint>
#include <cstdio>

namespace veltrane {

struct RuntimeState {
  int argument_count;
  char** argument_vector;
  std::int32_t last_error;
  int init_counter;
  // The stream behind redirected standard input; the C library's stdin unless
  // a test supplies another.
  std::FILE* standard_input;
};

RuntimeState& runtime_state();

// A process-wide record of an upper layer. Define one as a static object next
// to the record it clears; construction links it into the runtime state. The
// record must be static storage whose zero (or constant) initial state is the
// state `clear` restores.
class StatePart {
 public:
  explicit StatePart(void (*clear)(), void (*shutdown)() = nullptr);
  StatePart(const StatePart&) = delete;
  StatePart& operator=(const StatePart&) = delete;

 private:
  friend void runtime_shutdown();
  friend void runtime_reset();
  void (*clear_)();
  void (*shutdown_)();
  StatePart* next_;
};

// Entered once per process before the run sequence; does its work only when
// the counter goes from 0 to 1: takes standard input as the input stream, sets
// the floating-point unit and registers runtime_shutdown with the exit path.
// It clears nothing: the records are still as the process started them.
void runtime_init();

// Initialises the runtime unless that has already happened.
void runtime_ensure_initialised();

// Decrements the counter; when it reaches 0 runs every part's shutdown.
void runtime_shutdown();

// Stores the argument vector for the command tail.
void store_arguments(int argument_count, char** argument_vector);

// For tests: clear the state and every part, forget every earlier
// initialisation and exit handler, then initialise afresh.
void runtime_reset();

}  // namespace veltrane
