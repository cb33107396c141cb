#include "platform/system_text.h"

namespace veltrane::platform {

// Text files carry no code page of the system's here: bytes are bytes.
std::uint32_t system_text_length(std::uint8_t) { return 0; }

char32_t system_text_character(const std::uint8_t* bytes, std::uint32_t length) {
  return length == 1 ? bytes[0] : 0xFFFD;
}

}  // namespace veltrane::platform
