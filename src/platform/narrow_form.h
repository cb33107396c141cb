// The ASCII form of a character an input method types for a key of the
// keyboard: full-width digits, letters and signs, and its own punctuation.
#pragma once

namespace veltrane::platform {

// U+FF01 to U+FF5E (full-width `！` to `～`) become U+0021 to U+007E, and the
// ideographic space U+3000 a space, so that `１２` reads as 12 wherever a
// number is read. The punctuation a Japanese or Chinese input method types
// for the minus, period and comma keys (`ー` U+30FC, `。` U+3002, `、`
// U+3001), and the minus sign U+2212 that converters paste, become the
// key's own `-`, `.` and `,`, so that `ー５` is -5 and `１２。７` is 12.7.
// Any other character is returned as it is.
constexpr char32_t narrow_form(char32_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFEE0;
  switch (c) {
    case 0x3000:
      return U' ';
    case 0x3001:
      return U',';
    case 0x3002:
      return U'.';
    case 0x30FC:
    case 0x2212:
      return U'-';
    default:
      return c;
  }
}

}  // namespace veltrane::platform
