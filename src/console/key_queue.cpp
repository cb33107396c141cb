#include "console/key_queue.h"

#include "platform/console_api.h"

namespace veltrane {
namespace {

// Holds the queue's spinlock for one short critical section. No console call
// or allocation happens while it is held, so the other side never waits long;
// the waiter gives up the processor meanwhile, so that a control handler on a
// thread of higher priority cannot keep the holder from running on one CPU.
class QueueGuard {
 public:
  explicit QueueGuard(KeyQueue& queue) : lock_(queue.lock) {
    while (lock_.test_and_set(std::memory_order_acquire)) SwitchToThread();
  }
  ~QueueGuard() { lock_.clear(std::memory_order_release); }
  QueueGuard(const QueueGuard&) = delete;
  QueueGuard& operator=(const QueueGuard&) = delete;

 private:
  std::atomic_flag& lock_;
};

int next_slot(int index) { return (index + 1) % kKeyQueueSlots; }

}  // namespace

void key_queue_clear(KeyQueue& queue) {
  for (std::int32_t& code : queue.codes) code = 0;
  queue.read_index = 0;
  queue.write_index = 0;
  queue.key_hit = false;
  queue.lock.clear();
}

void key_queue_push(KeyQueue& queue, std::int32_t code) {
  const QueueGuard guard(queue);
  queue.codes[queue.write_index] = code;
  queue.write_index = next_slot(queue.write_index);
  if (queue.write_index == queue.read_index) queue.read_index = next_slot(queue.read_index);
  queue.key_hit = true;
}

bool key_queue_pop(KeyQueue& queue, std::int32_t* code) {
  const QueueGuard guard(queue);
  if (queue.read_index == queue.write_index) return false;
  *code = queue.codes[queue.read_index];
  queue.read_index = next_slot(queue.read_index);
  return true;
}

bool key_queue_is_empty(KeyQueue& queue) {
  const QueueGuard guard(queue);
  return queue.read_index == queue.write_index;
}

int key_queue_size(KeyQueue& queue) {
  const QueueGuard guard(queue);
  return (queue.write_index - queue.read_index + kKeyQueueSlots) % kKeyQueueSlots;
}

bool key_queue_take_hit(KeyQueue& queue) {
  const QueueGuard guard(queue);
  const bool hit = queue.key_hit;
  queue.key_hit = false;
  return hit;
}

}  // namespace veltrane
