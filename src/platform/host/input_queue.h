// The console input buffer of the host: records queued now, and records or
// control-key presses scheduled at a virtual time, which enter when the
// virtual clock reaches that time.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "platform/posix/windows_types.h"

namespace veltrane::host {

// Something the user does at a moment of virtual time: input records to
// queue, or a control key (Ctrl+C, Ctrl+Break) or another control event.
struct ScheduledInput {
  enum class Kind { records, ctrl_c, ctrl_event };
  std::uint64_t at_ms = 0;
  Kind kind = Kind::records;
  std::vector<INPUT_RECORD> records;
  DWORD ctrl_type = 0;  // for ctrl_event
};

class InputQueue {
 public:
  std::size_t size() const { return queued_.size(); }
  // Copies up to n records, oldest first; `remove` takes them off the queue.
  std::size_t take(INPUT_RECORD* out, std::size_t n, bool remove);
  void push(const std::vector<INPUT_RECORD>& records);
  void clear() { queued_.clear(); }

  // Schedules `input`; inputs of equal time keep the order of scheduling.
  void schedule(ScheduledInput input);
  std::size_t scheduled_count() const { return scheduled_.size(); }
  // Time of the earliest scheduled input, if any.
  std::optional<std::uint64_t> next_time() const;
  // Removes and returns the earliest scheduled input due at or before `now`.
  std::optional<ScheduledInput> pop_due(std::uint64_t now);

 private:
  std::deque<INPUT_RECORD> queued_;
  std::vector<ScheduledInput> scheduled_;  // sorted by time, stable
};

}  // namespace veltrane::host
