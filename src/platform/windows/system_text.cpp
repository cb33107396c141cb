#include "platform/system_text.h"

#include <windows.h>

namespace veltrane::platform {

std::uint32_t system_text_length(std::uint8_t lead) {
  return IsDBCSLeadByteEx(GetACP(), lead) != 0 ? 2 : 1;
}

char32_t system_text_character(const std::uint8_t* bytes, std::uint32_t length) {
  WCHAR units[2];
  const int count =
      MultiByteToWideChar(GetACP(), MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                          static_cast<int>(length), units, 2);
  return count == 1 ? units[0] : 0xFFFD;
}

}  // namespace veltrane::platform
