// File names between the tool's byte strings and the UTF-16 of the Windows
// wide API. Windows allows unpaired surrogates in names; they travel as their
// own three-byte forms, so that every name the system hands out opens again.
#pragma once

#include <string>
#include <string_view>

namespace veltrane::platform {

// UTF-8 of the UTF-16 text; an unpaired surrogate becomes its three-byte form.
std::string utf8_from_utf16(std::u16string_view text);

// UTF-16 of the UTF-8 text, three-byte surrogate forms included. False, and
// `out` unspecified, when the bytes are not such text (a stray continuation
// byte, a cut or overlong sequence, a value above U+10FFFF).
bool utf16_from_utf8(std::string_view text, std::u16string* out);

}  // namespace veltrane::platform
