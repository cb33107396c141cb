#include "console/input_source.h"

#include "files/positioned_io.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

InputContext context{};
const StatePart input_context_part{[] { context = InputContext{}; }};

}  // namespace

InputContext& input_context() { return context; }

int next_char(InputContext& context) {
  if (context.source == nullptr) {
    if (context.position < 0 || static_cast<std::size_t>(context.position) >= context.line.size()) {
      return kEndOfInput;
    }
    return static_cast<unsigned char>(context.line[static_cast<std::size_t>(context.position++)]);
  }
  // One byte from the stream at its current place; a byte given back earlier
  // comes first.
  std::uint8_t byte = 0;
  std::uint32_t count = 1;
  if (slot_read_at(context.source, 0, &byte, &count, false, false) != 0 || count == 0) {
    return kEndOfInput;
  }
  return byte;
}

void unread_char(InputContext& context, int character) {
  if (character == kEndOfInput) return;
  if (context.source == nullptr) {
    // The line still holds the character: stepping back is enough.
    if (context.position > 0) --context.position;
    return;
  }
  const auto byte = static_cast<std::uint8_t>(character);
  slot_push_back(context.source, &byte, 1);
}

}  // namespace veltrane
