// The runtime state: one process-wide record, cleared at initialisation.
//
// The process layer holds the argument vector, the last error number and the
// initialisation counter. The layers above attach their own process-wide
// records (file slots, console state, key queue, input context) as parts: each
// part is cleared with the rest by runtime_init, and its shutdown routine runs
// when the runtime shuts down. Tests call runtime_reset between cases.
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
// to the record it clears; construction links it into the runtime state.
class StatePart {
 public:
  StatePart(void (*clear)(), void (*shutdown)() = nullptr);
  StatePart(const StatePart&) = delete;
  StatePart& operator=(const StatePart&) = delete;

 private:
  friend void runtime_init();
  friend void runtime_shutdown();
  void (*clear_)();
  void (*shutdown_)();
  StatePart* next_;
};

// Entered once per process before the run sequence; does its work only when
// the counter goes from 0 to 1: clears the state and every part, sets the
// floating-point unit and registers runtime_shutdown with the exit path.
void runtime_init();

// Initialises the runtime unless that has already happened.
void runtime_ensure_initialised();

// Decrements the counter; when it reaches 0 runs every part's shutdown.
void runtime_shutdown();

// Stores the argument vector for the command tail.
void store_arguments(int argument_count, char** argument_vector);

// For tests: forget every earlier initialisation and exit handler, then
// initialise afresh.
void runtime_reset();

}  // namespace veltrane
