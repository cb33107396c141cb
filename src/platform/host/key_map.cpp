#include "platform/host/key_map.h"

#include <array>
#include <cstring>

namespace veltrane::host {

namespace {

constexpr WORD kExtendedPrefix = 0xE000;

// The US layout. Where several keys share a virtual-key code or a scan code,
// the one listed first answers lookups: the dedicated navigation keys come
// before the keypad keys that share their codes, left modifiers before right.
constexpr KeySpec kKeys[] = {
    {0x1B, 0x01, 0x1B, false},  // Esc
    {0x31, 0x02, '1', false},
    {0x32, 0x03, '2', false},
    {0x33, 0x04, '3', false},
    {0x34, 0x05, '4', false},
    {0x35, 0x06, '5', false},
    {0x36, 0x07, '6', false},
    {0x37, 0x08, '7', false},
    {0x38, 0x09, '8', false},
    {0x39, 0x0A, '9', false},
    {0x30, 0x0B, '0', false},
    {0xBD, 0x0C, '-', false},   // VK_OEM_MINUS
    {0xBB, 0x0D, '=', false},   // VK_OEM_PLUS
    {0x08, 0x0E, 0x08, false},  // Backspace
    {0x09, 0x0F, 0x09, false},  // Tab
    {'Q', 0x10, 'Q', false},
    {'W', 0x11, 'W', false},
    {'E', 0x12, 'E', false},
    {'R', 0x13, 'R', false},
    {'T', 0x14, 'T', false},
    {'Y', 0x15, 'Y', false},
    {'U', 0x16, 'U', false},
    {'I', 0x17, 'I', false},
    {'O', 0x18, 'O', false},
    {'P', 0x19, 'P', false},
    {0xDB, 0x1A, '[', false},   // VK_OEM_4
    {0xDD, 0x1B, ']', false},   // VK_OEM_6
    {0x0D, 0x1C, 0x0D, false},  // Enter
    {0x11, 0x1D, 0, false},     // left Ctrl
    {'A', 0x1E, 'A', false},
    {'S', 0x1F, 'S', false},
    {'D', 0x20, 'D', false},
    {'F', 0x21, 'F', false},
    {'G', 0x22, 'G', false},
    {'H', 0x23, 'H', false},
    {'J', 0x24, 'J', false},
    {'K', 0x25, 'K', false},
    {'L', 0x26, 'L', false},
    {0xBA, 0x27, ';', false},   // VK_OEM_1
    {0xDE, 0x28, '\'', false},  // VK_OEM_7
    {0xC0, 0x29, '`', false},   // VK_OEM_3
    {0x10, 0x2A, 0, false},     // left Shift
    {0xDC, 0x2B, '\\', false},  // VK_OEM_5
    {'Z', 0x2C, 'Z', false},
    {'X', 0x2D, 'X', false},
    {'C', 0x2E, 'C', false},
    {'V', 0x2F, 'V', false},
    {'B', 0x30, 'B', false},
    {'N', 0x31, 'N', false},
    {'M', 0x32, 'M', false},
    {0xBC, 0x33, ',', false},  // VK_OEM_COMMA
    {0xBE, 0x34, '.', false},  // VK_OEM_PERIOD
    {0xBF, 0x35, '/', false},  // VK_OEM_2
    {0x10, 0x36, 0, false},    // right Shift (not an extended key)
    {0x6A, 0x37, '*', false},  // VK_MULTIPLY
    {0x12, 0x38, 0, false},    // left Alt
    {0x20, 0x39, ' ', false},  // Space
    {0x14, 0x3A, 0, false},    // Caps Lock
    {0x70, 0x3B, 0, false},
    {0x71, 0x3C, 0, false},
    {0x72, 0x3D, 0, false},
    {0x73, 0x3E, 0, false},
    {0x74, 0x3F, 0, false},
    {0x75, 0x40, 0, false},
    {0x76, 0x41, 0, false},
    {0x77, 0x42, 0, false},
    {0x78, 0x43, 0, false},
    {0x79, 0x44, 0, false},  // F1-F10
    {0x90, 0x45, 0, true},   // Num Lock: make code 45, yet reported as extended
    {0x91, 0x46, 0, false},  // Scroll Lock
    // The dedicated navigation cluster (E0 prefix).
    {0x24, 0x47, 0, true},
    {0x26, 0x48, 0, true},
    {0x21, 0x49, 0, true},
    {0x25, 0x4B, 0, true},
    {0x27, 0x4D, 0, true},
    {0x23, 0x4F, 0, true},
    {0x28, 0x50, 0, true},
    {0x22, 0x51, 0, true},
    {0x2D, 0x52, 0, true},
    {0x2E, 0x53, 0, true},
    // The keypad with Num Lock off: navigation codes, no E0 prefix.
    {0x24, 0x47, 0, false},
    {0x26, 0x48, 0, false},
    {0x21, 0x49, 0, false},
    {0x6D, 0x4A, '-', false},  // VK_SUBTRACT
    {0x25, 0x4B, 0, false},
    {0x0C, 0x4C, 0, false},  // VK_CLEAR (keypad 5)
    {0x27, 0x4D, 0, false},
    {0x6B, 0x4E, '+', false},  // VK_ADD
    {0x23, 0x4F, 0, false},
    {0x28, 0x50, 0, false},
    {0x22, 0x51, 0, false},
    {0x2D, 0x52, 0, false},
    {0x2E, 0x53, 0, false},
    // The keypad with Num Lock on.
    {0x60, 0x52, '0', false},
    {0x61, 0x4F, '1', false},
    {0x62, 0x50, '2', false},
    {0x63, 0x51, '3', false},
    {0x64, 0x4B, '4', false},
    {0x65, 0x4C, '5', false},
    {0x66, 0x4D, '6', false},
    {0x67, 0x47, '7', false},
    {0x68, 0x48, '8', false},
    {0x69, 0x49, '9', false},
    {0x6E, 0x53, '.', false},   // VK_DECIMAL
    {0xE2, 0x56, '\\', false},  // VK_OEM_102
    {0x7A, 0x57, 0, false},
    {0x7B, 0x58, 0, false},    // F11, F12
    {0x0D, 0x1C, 0x0D, true},  // keypad Enter
    {0x11, 0x1D, 0, true},     // right Ctrl
    {0x6F, 0x35, '/', true},   // VK_DIVIDE
    {0x2C, 0x37, 0, true},     // VK_SNAPSHOT
    {0x12, 0x38, 0, true},     // right Alt
    {0x03, 0x46, 0x03, true},  // VK_CANCEL (Ctrl+Break)
    {0x13, 0x45, 0, false},    // VK_PAUSE (E1 sequence; answers no scan lookup)
    {0x5B, 0x5B, 0, true},
    {0x5C, 0x5C, 0, true},
    {0x5D, 0x5D, 0, true},  // Win, Apps
};

// Left and right modifier codes, which only MapVirtualKey knows.
struct SidedModifier {
  WORD virtual_key;
  WORD scan_code;  // with the E0 prefix for the extended ones
};
constexpr SidedModifier kSidedModifiers[] = {
    {0xA0, 0x2A}, {0xA1, 0x36}, {0xA2, 0x1D}, {0xA3, 0xE01D}, {0xA4, 0x38}, {0xA5, 0xE038},
};

constexpr DWORD kShift = SHIFT_PRESSED;
constexpr DWORD kCtrl = LEFT_CTRL_PRESSED;

// Characters typed with Shift, beside the unshifted one of the same key.
constexpr const char* kShiftedPairs = "1!2@3#4$5%6^7&8*9(0)-_=+[{]}\\|;:'\"`~,<.>/?";

UINT vk_to_scan(UINT code, bool with_prefix) {
  for (const SidedModifier& m : kSidedModifiers) {
    if (m.virtual_key == code) return with_prefix ? m.scan_code : (m.scan_code & 0xFFu);
  }
  const auto key = key_for_virtual_key(static_cast<WORD>(code));
  if (!key) return 0;
  return key->scan_code | (with_prefix && key->enhanced && code != 0x90 ? kExtendedPrefix : 0u);
}

UINT scan_to_vk(UINT code, bool sided) {
  const bool extended = (code & 0xFF00u) == kExtendedPrefix;
  if (sided) {
    for (const SidedModifier& m : kSidedModifiers) {
      if (m.scan_code == code) return m.virtual_key;
    }
  }
  const auto key = key_for_scan_code(static_cast<WORD>(code & 0xFFu), extended && sided);
  return key ? key->virtual_key : 0;
}

}  // namespace

std::optional<KeySpec> key_for_virtual_key(WORD virtual_key) {
  if (virtual_key == 0) return std::nullopt;
  for (const KeySpec& key : kKeys) {
    if (key.virtual_key == virtual_key) return key;
  }
  return std::nullopt;
}

std::optional<KeySpec> key_for_scan_code(WORD scan_code, bool extended) {
  if (scan_code == 0) return std::nullopt;
  for (const KeySpec& key : kKeys) {
    // Num Lock is flagged as enhanced but has no E0 prefix.
    const bool prefixed = key.enhanced && key.virtual_key != 0x90;
    if (key.scan_code == scan_code && prefixed == extended) return key;
  }
  return std::nullopt;
}

UINT map_virtual_key(UINT code, UINT map_type) {
  switch (map_type) {
    case 0:  // MAPVK_VK_TO_VSC
      return vk_to_scan(code, false);
    case 1:  // MAPVK_VSC_TO_VK
      return scan_to_vk(code, false);
    case 2: {  // MAPVK_VK_TO_CHAR
      const auto key = key_for_virtual_key(static_cast<WORD>(code));
      return key ? static_cast<unsigned char>(key->character) : 0u;
    }
    case 3:  // MAPVK_VSC_TO_VK_EX
      return scan_to_vk(code, true);
    case 4:  // MAPVK_VK_TO_VSC_EX
      return vk_to_scan(code, true);
    default:
      return 0;
  }
}

INPUT_RECORD key_event(bool key_down, WORD virtual_key, char character, DWORD control_key_state) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  KEY_EVENT_RECORD& event = record.Event.KeyEvent;
  event.bKeyDown = key_down ? TRUE : FALSE;
  event.wRepeatCount = 1;
  event.wVirtualKeyCode = virtual_key;
  event.uChar.UnicodeChar = 0;
  event.uChar.AsciiChar = character;
  event.dwControlKeyState = control_key_state;
  if (const auto key = key_for_virtual_key(virtual_key)) {
    event.wVirtualScanCode = key->scan_code;
    if (key->enhanced) event.dwControlKeyState |= ENHANCED_KEY;
  }
  return record;
}

std::vector<INPUT_RECORD> key_press(WORD virtual_key, char character, DWORD control_key_state) {
  return {key_event(true, virtual_key, character, control_key_state),
          key_event(false, virtual_key, character, control_key_state)};
}

namespace {

// The key and modifiers that type byte c on a US keyboard.
struct Typing {
  WORD virtual_key;
  DWORD modifiers;
};

Typing typing_for(unsigned char c) {
  switch (c) {
    case '\r':
      return {VK_RETURN, 0};
    case '\n':
      return {VK_RETURN, kCtrl};  // Ctrl+Enter gives LF
    case '\t':
      return {VK_TAB, 0};
    case '\b':
      return {VK_BACK, 0};
    case 0x1B:
      return {VK_ESCAPE, 0};
    case ' ':
      return {VK_SPACE, 0};
    default:
      break;
  }
  if (c >= 'a' && c <= 'z') return {static_cast<WORD>(c - 'a' + 'A'), 0};
  if (c >= 'A' && c <= 'Z') return {c, kShift};
  if (c >= 1 && c <= 26) return {static_cast<WORD>(c - 1 + 'A'), kCtrl};
  for (const KeySpec& key : kKeys) {
    if (key.virtual_key >= 0x60 && key.virtual_key <= 0x6F) continue;  // keypad
    if (key.character != 0 && static_cast<unsigned char>(key.character) == c) {
      return {key.virtual_key, 0};
    }
  }
  const char* pair = std::strchr(kShiftedPairs, c);
  if (c != 0 && pair != nullptr && (pair - kShiftedPairs) % 2 == 1) {
    return {typing_for(static_cast<unsigned char>(pair[-1])).virtual_key, kShift};
  }
  return {0, 0};
}

}  // namespace

std::vector<INPUT_RECORD> typed_text(const std::string& text) {
  std::vector<INPUT_RECORD> records;
  for (const char c : text) {
    const Typing typing = typing_for(static_cast<unsigned char>(c));
    if ((typing.modifiers & kShift) != 0) records.push_back(key_event(true, VK_SHIFT, 0, kShift));
    if ((typing.modifiers & kCtrl) != 0) records.push_back(key_event(true, VK_CONTROL, 0, kCtrl));
    records.push_back(key_event(true, typing.virtual_key, c, typing.modifiers));
    records.push_back(key_event(false, typing.virtual_key, c, typing.modifiers));
    if ((typing.modifiers & kCtrl) != 0) {
      records.push_back(key_event(false, VK_CONTROL, 0, typing.modifiers & ~kCtrl));
    }
    if ((typing.modifiers & kShift) != 0) records.push_back(key_event(false, VK_SHIFT, 0, 0));
  }
  return records;
}

std::vector<INPUT_RECORD> input_method_text(const std::string& text) {
  std::vector<INPUT_RECORD> records;
  for (const char c : text) records.push_back(key_event(true, 0, c, 0));
  return records;
}

std::vector<INPUT_RECORD> ctrl_c_records() {
  return {key_event(true, VK_CONTROL, 0, kCtrl), key_event(true, 'C', 0x03, kCtrl),
          key_event(false, 'C', 0x03, kCtrl), key_event(false, VK_CONTROL, 0, 0)};
}

}  // namespace veltrane::host
