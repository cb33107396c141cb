// The key queue: a ring of 512 key codes and the key-hit flag, shared between
// the main thread and the console control handler's thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace veltrane {

inline constexpr int kKeyQueueSlots = 512;

// Empty when the two indexes are equal, so it holds at most 511 codes; a push
// into a full ring drops the oldest code. Every field is guarded by `lock`.
struct KeyQueue {
  std::int32_t codes[kKeyQueueSlots];  // ring storage
  int read_index;                      // slot of the oldest code
  int write_index;                     // slot the next push fills
  bool key_hit;                        // a code was pushed since the last check
  std::atomic_flag lock;               // spinlock; a mutex is not available everywhere
};

// Empties the queue and clears the key-hit flag. Not for use while another
// thread may push.
void key_queue_clear(KeyQueue& queue);

// Stores the code (dropping the oldest when full) and sets the key-hit flag.
// Safe from the control handler's thread.
void key_queue_push(KeyQueue& queue, std::int32_t code);

// Takes the oldest code into *code; false when the queue is empty.
bool key_queue_pop(KeyQueue& queue, std::int32_t* code);

bool key_queue_is_empty(KeyQueue& queue);

// Number of codes held (0 to 511).
int key_queue_size(KeyQueue& queue);

// Returns the key-hit flag and clears it.
bool key_queue_take_hit(KeyQueue& queue);

}  // namespace veltrane
