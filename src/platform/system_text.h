// Text files in the system's own encoding: how redirected input that has no
// byte-order mark and is not UTF-8 is read.
#pragma once

#include <cstdint>

namespace veltrane::platform {

// How many bytes the character that starts with `lead` takes in the system's
// code page for text files: 1, or 2 for a lead byte of a double-byte code
// page. Windows reads such files in its ANSI code page (932 on a Japanese
// system, as Notepad saves "ANSI" there). 0 where the system has no such code
// page and text is taken byte for byte (Linux).
std::uint32_t system_text_length(std::uint8_t lead);

// The character that `length` bytes (as system_text_length gave) make in
// that code page, or U+FFFD when they make none.
char32_t system_text_character(const std::uint8_t* bytes, std::uint32_t length);

}  // namespace veltrane::platform
