#include "console/console_writer.h"

#include "console/console_draw.h"
#include "console/console_view.h"
#include "console/key_input.h"
#include "platform/console_api.h"

namespace veltrane {

namespace {

// Standard output is no console: the bytes go out unchanged.
void pass_through(const unsigned char* bytes, std::int32_t count) {
  while (count > 0) {
    DWORD written = 0;
    if (WriteFile(console_output_handle(), bytes, static_cast<DWORD>(count), &written, nullptr) !=
            1 ||
        written == 0) {
      return;
    }
    bytes += written;
    count -= static_cast<std::int32_t>(written);
  }
}

}  // namespace

void console_write(const void* bytes, std::int32_t count, std::int32_t flags) {
  if (count <= 0 && (flags & kWriteSettle) == 0) return;
  const auto* data = static_cast<const unsigned char*>(bytes);
  // The writer reads the snapshot but never takes the first one: until a
  // snapshot exists the view is empty and bytes pass through.
  if (view_is_empty(console_state().view)) {
    pass_through(data, count);
    return;
  }
  write_to_console(data, count < 0 ? 0 : count);
}

}  // namespace veltrane
