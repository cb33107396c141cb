// The ASCII form of a full-width character, as an input method in its
// full-width mode types digits, letters and signs.
#pragma once

namespace veltrane::platform {

// U+FF01 to U+FF5E (full-width `！` to `～`) become U+0021 to U+007E, and the
// ideographic space U+3000 a space, so that `１２` reads as 12 wherever a
// number is read; any other character is returned as it is.
constexpr char32_t narrow_form(char32_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFEE0;
  return c == 0x3000 ? U' ' : c;
}

}  // namespace veltrane::platform
