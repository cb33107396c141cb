#include "console/console_input.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "console/input_source.h"
#include "console/key_input.h"
#include "console/print.h"
#include "console/redirected_text.h"
#include "files/file_device.h"
#include "platform/console_api.h"
#include "process/last_error.h"

namespace veltrane {
namespace {

// Redirected standard input: the runtime's standard input stream, as text.
std::int32_t standard_input_read(FileSlot*, void* buffer, std::uint32_t* count) {
  return read_redirected_text(buffer, count);
}

// Console input: delivers the bytes of key presses. Waits in short sleeps
// for the first byte, then takes only what is already there. Bytes of a key
// text that do not fit the request wait in the pending-input block.
std::int32_t key_press_read(FileSlot* slot, void* buffer, std::uint32_t* count) {
  if (slot == nullptr || slot->device_data == nullptr) return kBadCall;
  PendingInput& pending = *static_cast<PendingInput*>(slot->device_data);
  auto* out = static_cast<std::uint8_t*>(buffer);
  const std::uint32_t wanted = *count;
  std::uint32_t delivered = 0;
  while (delivered < wanted) {
    if (pending.count == 0) {
      if (delivered > 0) break;
      const std::string key = read_key_text();
      if (key.empty()) {
        Sleep(kKeyWaitMs);
        continue;
      }
      pending.count = static_cast<std::uint32_t>(std::min(key.size(), sizeof pending.data));
      std::memcpy(pending.data, key.data(), pending.count);
    }
    const std::uint32_t taken = std::min(pending.count, wanted - delivered);
    std::memcpy(out + delivered, pending.data, taken);
    std::memmove(pending.data, pending.data + taken, pending.count - taken);
    pending.count -= taken;
    delivered += taken;
  }
  std::memset(out + delivered, 0, wanted - delivered);
  *count = delivered;
  return kSuccess;
}

}  // namespace

void console_input_setup() {
  console_setup();
  FileOps& ops = console_device_ops();
  if (ops.read != nullptr) return;
  ops.read = is_input_redirected() ? standard_input_read : key_press_read;
}

std::int32_t use_standard_input_source() {
  InputContext& context = input_context();
  context.source = slot_for_number(0);
  context.line = std::string{};
  context.position = 0;
  return context.source->ops != nullptr ? kSuccess : kBadCall;
}

}  // namespace veltrane
