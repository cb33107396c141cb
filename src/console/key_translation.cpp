#include "console/key_translation.h"

#include <array>

#include "console/key_input.h"
#include "platform/key_character.h"

namespace veltrane {
namespace {

// Table columns, in the order of the entries of a row.
enum Column : int { kPlain = 0, kShift = 1, kCtrl = 2, kAlt = 3 };

// An entry above 255 is an extended code X stored as X * 256; an entry of 255
// or less is a character code.
using KeyRow = std::array<std::uint16_t, 4>;

constexpr std::uint16_t ext(unsigned x) { return static_cast<std::uint16_t>(x << 8); }

constexpr DWORD kAltBits = RIGHT_ALT_PRESSED | LEFT_ALT_PRESSED;
constexpr DWORD kCtrlBits = RIGHT_CTRL_PRESSED | LEFT_CTRL_PRESSED;
constexpr WORD kLastMainScanCode = 0x58;

// Main table, one row per scan code 0x00 to 0x58 (US key names for orientation).
// Only the extended entries ever take effect: a character entry merely lets
// the key fall back to the event's own character, so those are left 0.
constexpr std::array<KeyRow, kLastMainScanCode + 1> kMainTable{{
    //  plain      Shift      Ctrl       Alt
    {0, 0, 0, 0},                                  // 0x00
    {0, 0, 0, ext(0x01)},                          // 0x01 Esc
    {0, 0, 0, ext(0x78)},                          // 0x02 1
    {0, 0, ext(0x03), ext(0x79)},                  // 0x03 2
    {0, 0, 0, ext(0x7A)},                          // 0x04 3
    {0, 0, 0, ext(0x7B)},                          // 0x05 4
    {0, 0, 0, ext(0x7C)},                          // 0x06 5
    {0, 0, 0, ext(0x7D)},                          // 0x07 6
    {0, 0, 0, ext(0x7E)},                          // 0x08 7
    {0, 0, 0, ext(0x7F)},                          // 0x09 8
    {0, 0, 0, ext(0x80)},                          // 0x0A 9
    {0, 0, 0, ext(0x81)},                          // 0x0B 0
    {0, 0, 0, ext(0x82)},                          // 0x0C minus
    {0, 0, 0, ext(0x83)},                          // 0x0D equals
    {0, 0, 0, ext(0xE0)},                          // 0x0E Backspace
    {0, ext(0x0F), ext(0x94), ext(0x0F)},          // 0x0F Tab
    {0, 0, 0, ext(0x10)},                          // 0x10 Q
    {0, 0, 0, ext(0x11)},                          // 0x11 W
    {0, 0, 0, ext(0x12)},                          // 0x12 E
    {0, 0, 0, ext(0x13)},                          // 0x13 R
    {0, 0, 0, ext(0x14)},                          // 0x14 T
    {0, 0, 0, ext(0x15)},                          // 0x15 Y
    {0, 0, 0, ext(0x16)},                          // 0x16 U
    {0, 0, 0, ext(0x17)},                          // 0x17 I
    {0, 0, 0, ext(0x18)},                          // 0x18 O
    {0, 0, 0, ext(0x19)},                          // 0x19 P
    {0, 0, 0, ext(0x1A)},                          // 0x1A [
    {0, 0, 0, ext(0x1B)},                          // 0x1B ]
    {0, 0, 0, ext(0x1C)},                          // 0x1C Enter
    {0, 0, 0, 0},                                  // 0x1D Ctrl
    {0, 0, 0, ext(0x1E)},                          // 0x1E A
    {0, 0, 0, ext(0x1F)},                          // 0x1F S
    {0, 0, 0, ext(0x20)},                          // 0x20 D
    {0, 0, 0, ext(0x21)},                          // 0x21 F
    {0, 0, 0, ext(0x22)},                          // 0x22 G
    {0, 0, 0, ext(0x23)},                          // 0x23 H
    {0, 0, 0, ext(0x24)},                          // 0x24 J
    {0, 0, 0, ext(0x25)},                          // 0x25 K
    {0, 0, 0, ext(0x26)},                          // 0x26 L
    {0, 0, 0, ext(0x27)},                          // 0x27 ;
    {0, 0, 0, ext(0x28)},                          // 0x28 '
    {0, 0, 0, ext(0x29)},                          // 0x29 `
    {0, 0, 0, 0},                                  // 0x2A left Shift
    {0, 0, 0, 0},                                  // 0x2B backslash
    {0, 0, 0, ext(0x2C)},                          // 0x2C Z
    {0, 0, 0, ext(0x2D)},                          // 0x2D X
    {0, 0, 0, ext(0x2E)},                          // 0x2E C
    {0, 0, 0, ext(0x2F)},                          // 0x2F V
    {0, 0, 0, ext(0x30)},                          // 0x30 B
    {0, 0, 0, ext(0x31)},                          // 0x31 N
    {0, 0, 0, ext(0x32)},                          // 0x32 M
    {0, 0, 0, ext(0x33)},                          // 0x33 ,
    {0, 0, 0, ext(0x34)},                          // 0x34 .
    {0, 0, 0, ext(0x35)},                          // 0x35 /
    {0, 0, 0, 0},                                  // 0x36 right Shift
    {0, 0, 0, 0},                                  // 0x37 keypad *
    {0, 0, 0, 0},                                  // 0x38 Alt
    {0, 0, 0, 0},                                  // 0x39 Space
    {0, 0, 0, 0},                                  // 0x3A Caps Lock
    {ext(0x3B), ext(0x54), ext(0x5E), ext(0x68)},  // 0x3B F1
    {ext(0x3C), ext(0x55), ext(0x5F), ext(0x69)},  // 0x3C F2
    {ext(0x3D), ext(0x56), ext(0x60), ext(0x6A)},  // 0x3D F3
    {ext(0x3E), ext(0x57), ext(0x61), ext(0x6B)},  // 0x3E F4
    {ext(0x3F), ext(0x58), ext(0x62), ext(0x6C)},  // 0x3F F5
    {ext(0x40), ext(0x59), ext(0x63), ext(0x6D)},  // 0x40 F6
    {ext(0x41), ext(0x5A), ext(0x64), ext(0x6E)},  // 0x41 F7
    {ext(0x42), ext(0x5B), ext(0x65), ext(0x6F)},  // 0x42 F8
    {ext(0x43), ext(0x5C), ext(0x66), ext(0x70)},  // 0x43 F9
    {ext(0x44), ext(0x5D), ext(0x67), ext(0x71)},  // 0x44 F10
    {0, 0, 0, 0},                                  // 0x45 Num Lock
    {0, 0, 0, 0},                                  // 0x46 Scroll Lock
    {ext(0x47), 0, ext(0x77), 0},                  // 0x47 keypad 7
    {ext(0x48), 0, ext(0x8D), 0},                  // 0x48 keypad 8
    {ext(0x49), 0, ext(0x84), 0},                  // 0x49 keypad 9
    {0, 0, 0, 0},                                  // 0x4A keypad -
    {ext(0x4B), 0, ext(0x73), 0},                  // 0x4B keypad 4
    {ext(0x4C), 0, ext(0x8F), ext(0x4C)},          // 0x4C keypad 5
    {ext(0x4D), 0, ext(0x74), 0},                  // 0x4D keypad 6
    {0, 0, 0, 0},                                  // 0x4E keypad +
    {ext(0x4F), 0, ext(0x75), 0},                  // 0x4F keypad 1
    {ext(0x50), 0, ext(0x91), 0},                  // 0x50 keypad 2
    {ext(0x51), 0, ext(0x76), 0},                  // 0x51 keypad 3
    {ext(0x52), 0, ext(0x92), 0},                  // 0x52 keypad 0
    {ext(0x53), 0, ext(0x93), 0},                  // 0x53 keypad .
    {0, 0, 0, 0},                                  // 0x54 SysRq
    {0, 0, 0, 0},                                  // 0x55
    {0, 0, 0, 0},                                  // 0x56 102nd key
    {ext(0x85), ext(0x87), ext(0x89), ext(0x8B)},  // 0x57 F11
    {ext(0x86), ext(0x88), ext(0x8A), ext(0x8C)},  // 0x58 F12
}};

struct EnhancedRow {
  WORD scan_code;
  KeyRow entries;
};

// Keys flagged as enhanced that carry no character: the dedicated cursor
// cluster, keypad / and keypad Enter.
constexpr std::array<EnhancedRow, 12> kEnhancedTable{{
    {0x1C, {13, 13, 10, ext(0xA6)}},                       // keypad Enter
    {0x35, {47, 63, ext(0x95), ext(0xA4)}},                // keypad /
    {0x47, {ext(0x47), ext(0x47), ext(0x77), ext(0x97)}},  // Home
    {0x48, {ext(0x48), ext(0x48), ext(0x8D), ext(0x98)}},  // Up
    {0x49, {ext(0x49), ext(0x49), ext(0x84), ext(0x99)}},  // Page Up
    {0x4B, {ext(0x4B), ext(0x4B), ext(0x73), ext(0x9B)}},  // Left
    {0x4D, {ext(0x4D), ext(0x4D), ext(0x74), ext(0x9D)}},  // Right
    {0x4F, {ext(0x4F), ext(0x4F), ext(0x75), ext(0x9F)}},  // End
    {0x50, {ext(0x50), ext(0x50), ext(0x91), ext(0xA0)}},  // Down
    {0x51, {ext(0x51), ext(0x51), ext(0x76), ext(0xA1)}},  // Page Down
    {0x52, {ext(0x52), ext(0x52), ext(0x92), ext(0xA2)}},  // Insert
    {0x53, {ext(0x53), ext(0x53), ext(0x93), ext(0xA3)}},  // Delete
}};

Column choose_column(DWORD control_state) {
  if ((control_state & kAltBits) != 0) return kAlt;
  if ((control_state & kCtrlBits) != 0) return kCtrl;
  if ((control_state & SHIFT_PRESSED) != 0) return kShift;
  return kPlain;
}

bool is_extended_entry(UINT entry) { return entry > 255; }

std::int32_t extended_key_code(UINT entry) {
  return static_cast<std::int32_t>(((entry >> 8) & 0xFF) << 8 | 0xFF);
}

UINT swap_letter_case(UINT c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return c ^ 0x20;
  return c;
}

bool uses_enhanced_table(const KeyFacts& key) {
  return key.character == 0 && (key.control_state & ENHANCED_KEY) != 0;
}

std::int32_t translate_enhanced(const KeyFacts& key) {
  for (const EnhancedRow& row : kEnhancedTable) {
    if (row.scan_code != key.scan_code) continue;
    const UINT entry = row.entries[choose_column(key.control_state)];
    return is_extended_entry(entry) ? extended_key_code(entry) : static_cast<std::int32_t>(entry);
  }
  return kNoKey;
}

std::int32_t translate_main(const KeyFacts& key, UINT own_character) {
  const UINT c = key.character;
  const Column column = choose_column(key.control_state);
  const UINT entry =
      (column == kPlain && c != 0) ? own_character : UINT{kMainTable[key.scan_code][column]};
  if (is_extended_entry(entry) && (c == own_character || c == swap_letter_case(own_character))) {
    return extended_key_code(entry);
  }
  if (c != 0) return static_cast<std::int32_t>(c);
  return kNoKey;
}

}  // namespace

bool is_alt_only(DWORD control_state) noexcept {
  return (control_state & (kCtrlBits | SHIFT_PRESSED)) == 0 && (control_state & kAltBits) != 0;
}

std::int32_t translate_key(const KeyFacts& key, UINT own_character) noexcept {
  if (uses_enhanced_table(key)) return translate_enhanced(key);
  if (key.scan_code <= kLastMainScanCode) return translate_main(key, own_character);
  return key.character != 0 ? key.character : kNoKey;
}

std::int32_t translate_key_event(const KEY_EVENT_RECORD& event) {
  const KeyFacts key{static_cast<unsigned char>(event.uChar.AsciiChar), event.wVirtualScanCode,
                     event.wVirtualKeyCode, event.dwControlKeyState};
  const bool needs_own_character = !uses_enhanced_table(key) && key.scan_code <= kLastMainScanCode;
  const UINT own_character = needs_own_character ? platform::key_own_character(key.virtual_key) : 0;
  return translate_key(key, own_character);
}

}  // namespace veltrane
