#include "platform/host/input_queue.h"

#include <algorithm>

namespace veltrane::host {

std::size_t InputQueue::take(INPUT_RECORD* out, std::size_t n, bool remove) {
  const std::size_t count = std::min(n, queued_.size());
  std::copy_n(queued_.begin(), count, out);
  if (remove) queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(count));
  return count;
}

void InputQueue::push(const std::vector<INPUT_RECORD>& records) {
  queued_.insert(queued_.end(), records.begin(), records.end());
}

void InputQueue::schedule(ScheduledInput input) {
  const auto later = std::upper_bound(
      scheduled_.begin(), scheduled_.end(), input.at_ms,
      [](std::uint64_t at, const ScheduledInput& other) { return at < other.at_ms; });
  scheduled_.insert(later, std::move(input));
}

std::optional<std::uint64_t> InputQueue::next_time() const {
  if (scheduled_.empty()) return std::nullopt;
  return scheduled_.front().at_ms;
}

std::optional<ScheduledInput> InputQueue::pop_due(std::uint64_t now) {
  if (scheduled_.empty() || scheduled_.front().at_ms > now) return std::nullopt;
  ScheduledInput input = std::move(scheduled_.front());
  scheduled_.erase(scheduled_.begin());
  return input;
}

}  // namespace veltrane::host
